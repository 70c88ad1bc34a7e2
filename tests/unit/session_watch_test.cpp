// Whether the desktop is seen, from the session changes Windows reports.
#include "core/session_watch.h"

#include <gtest/gtest.h>

namespace quenvix::core {
namespace {

constexpr std::uint32_t Code(SessionChange change) {
    return static_cast<std::uint32_t>(change);
}

TEST(SessionWatch, LockedOrDisconnectedIsUnseenUntilBothEnd) {
    SessionWatch session;
    EXPECT_TRUE(session.Seen());
    EXPECT_TRUE(session.OnChange(Code(SessionChange::Lock)));
    EXPECT_FALSE(session.Seen());
    EXPECT_FALSE(session.OnChange(Code(SessionChange::Lock)));  // told twice: no change
    EXPECT_TRUE(session.OnChange(Code(SessionChange::Unlock)));
    EXPECT_TRUE(session.Seen());

    // Switched to another user: disconnected from the console, and locked as well.
    EXPECT_TRUE(session.OnChange(Code(SessionChange::ConsoleDisconnect)));
    EXPECT_FALSE(session.OnChange(Code(SessionChange::Lock)));
    EXPECT_FALSE(session.OnChange(Code(SessionChange::ConsoleConnect)));  // still locked
    EXPECT_FALSE(session.Seen());
    EXPECT_TRUE(session.OnChange(Code(SessionChange::Unlock)));
    EXPECT_TRUE(session.Seen());
}

TEST(SessionWatch, ARemoteSessionLeftAndTakenUpFromTheConsoleIsSeenAgain) {
    SessionWatch session;
    EXPECT_TRUE(session.OnChange(Code(SessionChange::RemoteDisconnect)));
    EXPECT_TRUE(session.OnChange(Code(SessionChange::ConsoleConnect)));
    EXPECT_TRUE(session.Seen());
    EXPECT_TRUE(session.OnChange(Code(SessionChange::ConsoleDisconnect)));
    EXPECT_TRUE(session.OnChange(Code(SessionChange::RemoteConnect)));
    EXPECT_TRUE(session.Seen());
}

TEST(SessionWatch, OtherReportsChangeNothing) {
    SessionWatch session;
    session.OnChange(Code(SessionChange::Lock));
    for (const SessionChange other :
         {SessionChange::Logon, SessionChange::Logoff, SessionChange::RemoteControl}) {
        EXPECT_FALSE(session.OnChange(Code(other)));
    }
    EXPECT_FALSE(session.OnChange(0));
    EXPECT_FALSE(session.OnChange(0x7FFF));
    EXPECT_FALSE(session.Seen());
}

}  // namespace
}  // namespace quenvix::core
