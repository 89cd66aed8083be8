#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "qxregres600r.h"

namespace {

using QXMath_600::QXCancelInfo;

// A caller's cancel object with scripted answers; it counts how often it is asked.
class ScriptedCancel : public QXCommon_600::QXQueryCancel {
 public:
  bool IsCancelRequested() override {
    ++fRequestedCalls;
    return fRequestedOnce ? fRequested.exchange(false) : fRequested.load();
  }
  bool IsCancelPending() override { return fPending.load(); }

  std::atomic<bool> fRequested{false};
  bool fRequestedOnce = false;
  std::atomic<bool> fPending{false};
  std::atomic<int> fRequestedCalls{0};
};

TEST(CancelInfo, AYesFromTheCallerIsRememberedAndNotAskedAgain) {
  ScriptedCancel caller;
  QXCancelInfo info(&caller);
  EXPECT_FALSE(info.IsCancel());
  caller.fRequestedOnce = true;
  caller.fRequested = true;  // answers true once, false afterwards
  EXPECT_TRUE(info.IsCancel());
  EXPECT_TRUE(info.IsCancel());
  EXPECT_EQ(caller.fRequestedCalls, 2);

  // Replacing the caller's object keeps the remembered cancel; a copy takes it along.
  info.SetCancelPtr(nullptr);
  EXPECT_TRUE(info.IsCancel());
  const QXCancelInfo copy(info);
  EXPECT_TRUE(copy.WillCancel());
  QXCancelInfo assigned;
  assigned = info;
  EXPECT_TRUE(assigned.IsCancel());
}

TEST(CancelInfo, APendingCancelIsPassedThroughWithoutBeingRemembered) {
  ScriptedCancel caller;
  QXCancelInfo info(&caller);
  caller.fPending = true;
  EXPECT_TRUE(info.WillCancel());
  caller.fPending = false;
  EXPECT_FALSE(info.WillCancel());
  EXPECT_FALSE(info.IsCancel());

  QXCancelInfo alone;
  EXPECT_FALSE(alone.WillCancel());
  EXPECT_FALSE(alone.IsCancel());
  alone.SetCancel();
  EXPECT_TRUE(alone.WillCancel());
  EXPECT_TRUE(alone.IsCancel());
  EXPECT_EQ(alone.GetCancelPtr(), nullptr);
}

TEST(CancelInfo, CancelSetFromAnotherThreadIsSeenByARunningLoop) {
  ScriptedCancel caller;  // keeps answering no: the flag must not be overwritten by those answers
  QXCancelInfo info(&caller);
  std::atomic<bool> looping{false};
  std::thread canceller([&] {
    while (!looping.load()) std::this_thread::yield();
    info.SetCancel();
  });
  long polls = 0;
  while (!info.IsCancel()) {
    looping.store(true);
    ++polls;
  }
  canceller.join();
  EXPECT_GT(polls, 0);
  EXPECT_TRUE(info.IsCancel());

  // The caller's own object flipped from another thread is seen too.
  ScriptedCancel remote;
  QXCancelInfo viaCaller(&remote);
  std::thread requester([&] { remote.fRequested.store(true); });
  while (!viaCaller.IsCancel()) std::this_thread::yield();
  requester.join();
  EXPECT_TRUE(viaCaller.IsCancel());
}

}  // namespace
