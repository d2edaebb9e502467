#include "host/host_frames.h"

namespace dllscope {

bool IsAnswer(HostMessage kind) {
    return kind == HostMessage::Done || kind == HostMessage::Failed || kind == HostMessage::Faulted;
}

bool ReadHead(MessageReader& reader, MessageHead& head) {
    head.kind = reader.Kind();
    head.id = reader.U32();
    head.answers = IsAnswer(head.kind) ? static_cast<HostMessage>(reader.U8()) : HostMessage{};
    return reader.Ok();
}

}  // namespace dllscope
