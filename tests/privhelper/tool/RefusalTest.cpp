// Requests the tool must refuse: each gets an error answer, changes nothing at all, and the
// tool goes on serving the same connection.

#include "ToolTestSupport.h"

#include <cerrno>
#include <functional>
#include <vector>

namespace proto = PrivilegedHelperProtocol;
using platform::privileged::FileAttributes;
using platform::privileged::TlvMessage;
using privtest::RawClient;
using privtest::request;

namespace {

struct Refusal {
    const char* name;
    std::int64_t code;
    std::function<std::string(const std::string& media, const std::string& outside)> bytes;
};

std::string encoded(proto::Request r, std::uint16_t version = proto::kProtocolVersion)
{
    r.requestId = 7;
    TlvMessage m = proto::encodeRequest(r);
    m.setProtocolVersion(version);
    std::string out;
    m.encode(out);
    return out;
}

std::string withAttributes(std::uint16_t op, const std::string& path, FileAttributes a)
{
    auto r = request(op, path);
    r.attributes = a;
    return encoded(r);
}

std::vector<Refusal> refusals()
{
    using A = FileAttributes;
    const std::uint32_t other = ::geteuid() + 4242;
    return {
        {"relative path", EINVAL,
         [](auto&, auto&) { return encoded(request(proto::removeItem, "media/clip.mov")); }},
        {"dot-dot component", EINVAL,
         [](auto& m, auto&) { return encoded(request(proto::removeItem, m + "/../outside/x")); }},
        {"trailing slash", EINVAL,
         [](auto& m, auto&) { return encoded(request(proto::removeItem, m + "/dir/")); }},
        {"NUL byte", EINVAL,
         [](auto& m, auto&) {
             return encoded(request(proto::removeItem, m + std::string("/clip.mov\0x", 11)));
         }},
        {"over-long path", ENAMETOOLONG,
         [](auto& m, auto&) { return encoded(request(proto::removeItem, m + "/" + std::string(300, 'a'))); }},
        {"symlink component", ELOOP,
         [](auto& m, auto&) { return encoded(request(proto::removeItem, m + "/link/keep.txt")); }},
        {"outside the roots", EPERM,
         [](auto&, auto& o) { return encoded(request(proto::removeItem, o + "/keep.txt")); }},
        {"a root itself", EPERM, [](auto& m, auto&) { return encoded(request(proto::removeItem, m)); }},
        {"system tree", EPERM,
         [](auto&, auto&) { return encoded(request(proto::removeItem, "/etc/hostname")); }},
        {"copy to outside", EPERM,
         [](auto& m, auto& o) {
             return encoded(request(proto::copyItem, m + "/dir/clip.mov", o + "/stolen.mov"));
         }},
        {"move from outside", EPERM,
         [](auto& m, auto& o) {
             return encoded(request(proto::moveItem, o + "/keep.txt", m + "/taken.txt"));
         }},
        {"move into a system tree", EPERM,
         [](auto& m, auto&) {
             return encoded(request(proto::moveItem, m + "/dir/clip.mov", "/usr/local/bin/clip"));
         }},
        {"set-user-ID bit", EPERM,
         [](auto& m, auto&) {
             return withAttributes(proto::setAttributes, m + "/dir/clip.mov", A{04755, {}, {}, {}});
         }},
        {"sticky bit on a new directory", EPERM,
         [](auto& m, auto&) {
             return withAttributes(proto::createDirectory, m + "/new", A{01777, {}, {}, {}});
         }},
        {"owner another user", EPERM,
         [other](auto& m, auto&) {
             return withAttributes(proto::setAttributes, m + "/dir/clip.mov", A{{}, other, {}, {}});
         }},
        {"group not the caller's", EPERM,
         [other](auto& m, auto&) {
             return withAttributes(proto::setAttributes, m + "/dir/clip.mov", A{{}, {}, other, {}});
         }},
        {"attributes of a link", ELOOP,
         [](auto& m, auto&) {
             return withAttributes(proto::setAttributes, m + "/link", A{0700, {}, {}, {}});
         }},
        {"unknown op", EOPNOTSUPP,
         [](auto& m, auto&) {
             auto r = request(proto::removeItem, m + "/dir/clip.mov");
             TlvMessage msg = proto::encodeRequest(r);
             msg.setOp(99);
             std::string out;
             msg.encode(out);
             return out;
         }},
        {"other protocol version", EPROTO,
         [](auto& m, auto&) { return encoded(request(proto::removeItem, m + "/dir/clip.mov"), 9); }},
        {"unexpected field", EINVAL,
         [](auto& m, auto&) {
             TlvMessage msg = proto::encodeRequest(request(proto::removeItem, m + "/dir/clip.mov"));
             msg.setBytes(proto::destination, m + "/x");
             std::string out;
             msg.encode(out);
             return out;
         }},
        {"attribute of the wrong size", EINVAL,
         [](auto& m, auto&) {
             TlvMessage msg = proto::encodeRequest(request(proto::setAttributes, m + "/dir/clip.mov"));
             msg.setBytes(proto::posixPermissions, "\x01\x02");
             std::string out;
             msg.encode(out);
             return out;
         }},
        {"field running past the end", EBADMSG,
         [](auto& m, auto&) {
             std::string bytes = encoded(request(proto::removeItem, m + "/dir/clip.mov"));
             return bytes.substr(0, bytes.size() - 3);
         }},
        {"garbage", EBADMSG, [](auto&, auto&) { return std::string("\x13\x37", 2); }},
        {"oversize message", EMSGSIZE,
         [](auto& m, auto&) {
             std::string bytes = encoded(request(proto::removeItem, m + "/dir/clip.mov"));
             return bytes + std::string(70 * 1024, 'x');
         }},
    };
}

} // namespace

TEST_F(ToolTest, RefusesHostileRequestsAndChangesNothing)
{
    startTool();
    tree_.writeFile("outside/keep.txt", "keep");
    tree_.writeFile("media/dir/clip.mov", "clip");
    tree_.makeSymlink("media/link", outside_);
    const auto before = privtest::snapshotTree(tree_.path() + "/media");
    const auto outsideBefore = privtest::snapshotTree(outside_);

    RawClient client(tool_->socketPath());
    for (const auto& refusal : refusals()) {
        SCOPED_TRACE(refusal.name);
        ASSERT_TRUE(client.sendBytes(refusal.bytes(media_, outside_)));
        auto reply = client.reply();
        ASSERT_TRUE(reply.has_value());
        ASSERT_TRUE(reply->error.has_value());
        EXPECT_EQ(reply->error->domain, "posix");
        EXPECT_EQ(reply->error->code, refusal.code) << reply->error->description;
        EXPECT_EQ(privtest::snapshotTree(tree_.path() + "/media"), before);
        EXPECT_EQ(privtest::snapshotTree(outside_), outsideBefore);
        // Still serving the same connection.
        EXPECT_EQ(client.versionOrEmpty(), "1.0");
    }
}

TEST_F(ToolTest, ErrorAnswersCarryTheRequestIdWhenTheHeaderIsReadable)
{
    startTool();
    RawClient client(tool_->socketPath());
    TlvMessage msg(proto::kProtocolVersion, 99, 0xA1B2C3D4);
    std::string bytes;
    msg.encode(bytes);
    ASSERT_TRUE(client.sendBytes(bytes));
    auto reply = client.reply();
    ASSERT_TRUE(reply && reply->error);
    EXPECT_EQ(reply->requestId, 0xA1B2C3D4u);
    EXPECT_EQ(reply->op, 99);
    EXPECT_EQ(reply->error->code, EOPNOTSUPP);
}

TEST_F(ToolTest, HardLinksToAnotherUsersFileAreNeitherCopiedNorChanged)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give a file to another user";
    startTool();
    const std::string secret = tree_.writeFile("outside/secret", "s", 0600);
    ASSERT_EQ(::chown(secret.c_str(), 4242, 4242), 0);
    ASSERT_EQ(::link(secret.c_str(), (media_ + "/linked").c_str()), 0);
    const auto before = privtest::snapshotTree(tree_.path() + "/outside");

    RawClient client(tool_->socketPath());
    auto copy = client.call(request(proto::copyItem, media_ + "/linked", media_ + "/copy"));
    ASSERT_TRUE(copy && copy->error);
    EXPECT_EQ(copy->error->code, EPERM);
    EXPECT_FALSE(privtest::exists(media_ + "/copy"));
    auto take = request(proto::setAttributes, media_ + "/linked");
    take.attributes = FileAttributes{0644, ::geteuid(), {}, {}};
    auto changed = client.call(take);
    ASSERT_TRUE(changed && changed->error);
    EXPECT_EQ(changed->error->code, EPERM);
    EXPECT_EQ(privtest::snapshotTree(tree_.path() + "/outside"), before);
}
