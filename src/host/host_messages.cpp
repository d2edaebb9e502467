#include "host/host_messages.h"

namespace dllscope {

bool ReadHead(MessageReader& reader, MessageHead& head) {
    head.kind = reader.Kind();
    head.id = reader.U32();
    const bool answer = head.kind == HostMessage::Done || head.kind == HostMessage::Failed ||
                        head.kind == HostMessage::Faulted;
    head.answers = answer ? static_cast<HostMessage>(reader.U8()) : HostMessage{};
    return reader.Ok();
}

}  // namespace dllscope
