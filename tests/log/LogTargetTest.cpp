#include <gtest/gtest.h>

#include "log/Log.h"
#include "log/LogApi.h"
#include "log/StdOutLogTarget.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

TEST_F(LogTest, MaskArithmeticAndDefaults) {
    RecordingTarget target;
    LogTargetInterface* face = target.Interface();
    EXPECT_EQ(face->getLevel(face), 1);
    EXPECT_STREQ(face->format(face), "#D| #L| #G| #M");
    EXPECT_STREQ(face->name(face), "RecordingTarget");
    face->setMasks(face, 3, 1);
    EXPECT_EQ(face->getIncludedMask(face), 2u);
    EXPECT_EQ(face->getExcludedMask(face), 1u);

    // A target that installs no writer of its own writes nothing.
    LogTarget plain;
    LogTargetInterface* plainFace = plain.Interface();
    const LogRecord record{};
    EXPECT_FALSE(plainFace->write(plainFace, &record));
    EXPECT_STREQ(plainFace->name(plainFace), "LogTarget");
}

TEST_F(LogTest, AttachDetachAndDestruction) {
    DetachConsoles();
    const LogApi& api = GetLogApi();
    auto target = std::make_unique<RecordingTarget>();
    LogTargetInterface* face = target->Interface();

    api.attachTarget(face);
    api.attachTarget(face);  // attaching twice keeps one entry
    Log(3, 0, "once");
    EXPECT_EQ(target->messages.size(), 1u);
    EXPECT_EQ(api.findTarget("RecordingTarget"), face);

    api.detachTarget(face);
    EXPECT_FALSE(face->isAttached(face));
    Log(3, 0, "not received");
    EXPECT_EQ(target->messages.size(), 1u);

    Configure(*target, 0, 0, 0, "<#M>");
    EXPECT_TRUE(target->IsAttached());
    Log(3, 0, "configured");
    EXPECT_EQ(target->lines.back(), "<configured>\n");

    // Destroying an attached target takes it off the manager's list.
    target.reset();
    EXPECT_EQ(api.findTarget("RecordingTarget"), nullptr);
    Log(3, 0, "nobody listens");
}

TEST_F(LogTest, StandardOutputGetsTheBareMessage) {
    DetachConsoles();
    LogTargetInterface* stdOut = LogManager::StdOutTarget();
    stdOut->attach(stdOut);
    testing::internal::CaptureStdout();
    Log(1, 2, "plain %s", "text");
    Log(1, 1, "other group");
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "plain text\n");
}

TEST_F(LogTest, ForeignTargetThroughThePlainTable) {
    DetachConsoles();
    // A target built by hand, not derived from LogTarget.
    struct Foreign {
        LogTargetInterface table;
        int writes = 0;
    };
    static Foreign foreign;
    foreign.writes = 0;
    foreign.table = LogTargetInterface{
        [](LogTargetInterface*) -> std::uint32_t { return 1; },
        [](LogTargetInterface*, std::int32_t) {},
        [](LogTargetInterface*) -> std::int32_t { return 0; },
        [](LogTargetInterface*, std::uint64_t, std::uint64_t) {},
        [](LogTargetInterface*) -> std::uint64_t { return 0; },
        [](LogTargetInterface*) -> std::uint64_t { return 0; },
        [](LogTargetInterface*) { return "Foreign"; },
        [](LogTargetInterface*) { return "#M"; },
        [](LogTargetInterface* self) { LogManager::AddTarget(self); },
        [](LogTargetInterface*) {},  // never takes itself off the list
        [](LogTargetInterface*) { return true; },
        [](LogTargetInterface*, const LogRecord*) {
            ++foreign.writes;
            return true;
        },
    };
    GetLogApi().attachTarget(&foreign.table);
    Log(1, 0, "to the foreign target");
    EXPECT_EQ(foreign.writes, 1);
    // Teardown drops it even though its detach leaves the list alone.
    LogManager::ReleaseReference();
    LogManager::AddReference();
    DetachConsoles();
    Log(1, 0, "fresh manager");
    EXPECT_EQ(foreign.writes, 1);
}

}  // namespace
}  // namespace Kesh::Testing
