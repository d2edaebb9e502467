#include "host/host_protocol.h"

#include "host/host_frames.h"
#include "host/host_messages.h"

#include <gtest/gtest.h>

namespace dllscope {
namespace {

// The message without its 4-byte length, as the reader gets it.
std::string Body(const MessageWriter& message) { return message.Frame().substr(4); }

TEST(HostProtocol, AFrameCarriesItsLengthAndFieldsComeBackInOrder) {
    const std::wstring text{L'a', static_cast<wchar_t>(0xE4), static_cast<wchar_t>(0xD83D),
                            static_cast<wchar_t>(0xDE00), L'\0', L'z'};
    const std::string frame =
        MessageWriter(HostMessage::PluginRun).Text(text).U16(0xFFFF).U64(0x0102030405060708ull).Frame();
    std::uint32_t length = 0;
    ASSERT_TRUE(FrameLength(frame.data(), kHostFrameLimit, length));
    EXPECT_EQ(length, frame.size() - 4);
    EXPECT_EQ(length, 1u + 4 + 2 * text.size() + 2 + 8);

    const std::string body = frame.substr(4);
    MessageReader reader(body);
    EXPECT_EQ(reader.Kind(), HostMessage::PluginRun);
    EXPECT_EQ(reader.Text(), text);
    EXPECT_EQ(reader.U16(), 0xFFFF);
    EXPECT_EQ(reader.U64(), 0x0102030405060708ull);
    EXPECT_TRUE(reader.Complete());
}

TEST(HostProtocol, AFrameLengthOfZeroOrAboveTheLimitIsRefused) {
    std::uint32_t length = 0;
    EXPECT_FALSE(FrameLength("\0\0\0\0", kHostFrameLimit, length));
    EXPECT_TRUE(FrameLength("\x10\0\0\0", 16, length));
    EXPECT_FALSE(FrameLength("\x11\0\0\0", 16, length));
    EXPECT_FALSE(FrameLength("\xFF\xFF\xFF\xFF", kHostFrameLimit, length));
    EXPECT_EQ(length, 0xFFFFFFFFu);
}

TEST(HostProtocol, AFieldPastTheEndOrBytesLeftOverMakeTheMessageMalformed) {
    // A text announcing more units than the message holds, up to 2^32 - 1:
    // nothing is made of it, and every later read is empty.
    for (const std::uint32_t units : {3u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        const std::string body = Body(MessageWriter(HostMessage::Done).U32(units).U16('a').U16('b'));
        MessageReader reader(body);
        reader.Kind();
        EXPECT_EQ(reader.Text(), L"") << units;
        EXPECT_FALSE(reader.Ok());
        EXPECT_EQ(reader.U8(), 0);
        EXPECT_FALSE(reader.Complete());
    }
    // A number cut by the end.
    const std::string cut = Body(MessageWriter(HostMessage::Done).U16(7));
    MessageReader shortReader(cut);
    shortReader.Kind();
    EXPECT_EQ(shortReader.U32(), 0u);
    EXPECT_FALSE(shortReader.Ok());
    // Bytes counted past the end: none are taken, not even those that are there.
    const std::string three = Body(MessageWriter(HostMessage::Done).Raw("abc"));
    MessageReader rawReader(three);
    rawReader.Kind();
    EXPECT_EQ(rawReader.Raw(5), "");
    EXPECT_FALSE(rawReader.Ok());
    // All fields read, one byte left: not complete.
    const std::string extra = Body(MessageWriter(HostMessage::Done).U32(1).U8(9));
    MessageReader extraReader(extra);
    extraReader.Kind();
    extraReader.U32();
    EXPECT_TRUE(extraReader.Ok());
    EXPECT_FALSE(extraReader.Complete());
}

// A count of texts or records is no promise: nothing is made for it before
// the bytes of each are there.
TEST(HostProtocol, ACountOfTextsIsBelievedOnlyAsFarAsTheMessageHoldsThem) {
    const std::string body = Body(MessageWriter(HostMessage::Done).U32(100000).U32(1).U16('a'));
    MessageReader reader(body);
    reader.Kind();
    HandleTypesAnswer answer;
    EXPECT_FALSE(ReadFields(reader, answer));
    EXPECT_LE(answer.types.size(), 2u);  // "a", and what the failed read left
    EXPECT_LT(answer.types.capacity(), 1000u);
}

}  // namespace
}  // namespace dllscope
