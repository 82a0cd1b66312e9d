#include <gtest/gtest.h>

#include <thread>

#include "platform/Event.h"
#include "platform/QueueInvoker.h"
#include "platform/MessageQueue.h"

namespace zp {
namespace {

TEST(Event, AutoResetIsConsumedManualStaysSet) {
  Event a(Event::Reset::Auto), m(Event::Reset::Manual);
  a.Set();
  m.Set();
  EXPECT_TRUE(a.Wait(0));
  EXPECT_FALSE(a.Wait(0));
  EXPECT_TRUE(m.Wait(0));
  EXPECT_TRUE(m.Wait(0));
  m.ResetEvent();
  EXPECT_FALSE(m.Wait(10));
}

TEST(MessageQueueWait, LowestSignalledEventWinsOverInput) {
  MessageQueue& q = MessageQueue::ForThisThread();
  Event e0(Event::Reset::Auto), e1(Event::Reset::Manual), e2(Event::Reset::Auto);
  Event* events[] = {&e0, &e1, &e2};
  int got = 0;
  const WindowHandle win = CreateMessageWindow([&](Message&) { ++got; });
  PostMessageTo(win, 0x401, 0, 0);  // an application message: the system refuses to post some of its own
  e2.Set();
  e1.Set();
  EXPECT_EQ(q.Wait(events, 100), 1);
  e1.ResetEvent();
  EXPECT_EQ(q.Wait(events, 100), 2);
  EXPECT_EQ(q.Wait(events, 100), 3) << "input";
  q.DispatchAll();
  EXPECT_EQ(got, 1);
  EXPECT_EQ(q.Wait(events, 20), MessageQueue::kWaitTimeout);
  DestroyMessageWindow(win);
}

TEST(MessageQueueWait, PostFromAnotherThreadWakesTheWait) {
  MessageQueue& q = MessageQueue::ForThisThread();
  std::uintptr_t seen = 0;
  const WindowHandle win = CreateMessageWindow([&](Message& m) { seen = m.wparam; });
  std::thread t([win] { PostMessageTo(win, 0x405, 42, 0); });
  EXPECT_EQ(q.Wait({}, 5000), 0);
  t.join();
  EXPECT_TRUE(q.DispatchOne());
  EXPECT_EQ(seen, 42u);
  EXPECT_FALSE(q.DispatchOne());
  DestroyMessageWindow(win);
  EXPECT_FALSE(PostMessageTo(win, 0x405, 0, 0)) << "a destroyed window takes no messages";
}

TEST(QueueInvoker, RunsOnCreatorInOrderAndReturnsAtOnceWhenClosed) {
  QueueInvoker inv;
  std::vector<int> order;
  const auto creator = std::this_thread::get_id();
  bool on_creator = true;
  Event done(Event::Reset::Manual);
  std::vector<bool> results;
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) {
      results.push_back(inv.RunAndWait([&, i] {
        on_creator = on_creator && std::this_thread::get_id() == creator;
        order.push_back(i);
      }));
    }
    done.Set();
  });
  EXPECT_EQ(inv.WaitServing(done, 5000), Invoker::WaitResult::Signalled);
  worker.join();
  ASSERT_EQ(order.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
  EXPECT_TRUE(on_creator);

  inv.Close();
  bool ran = false, result = true;
  std::thread late([&] { result = inv.RunAndWait([&] { ran = true; }); });
  late.join();  // must not need the creator to serve it
  EXPECT_FALSE(result);
  MessageQueue::ForThisThread().DispatchAll();
  EXPECT_FALSE(ran);
}

TEST(QueueInvoker, CloseReleasesAWaitingCaller) {
  QueueInvoker inv;
  Event posted(Event::Reset::Manual);
  bool result = true;
  std::thread worker([&] {
    posted.Set();
    result = inv.RunAndWait([] {});
  });
  ASSERT_TRUE(posted.Wait(5000));
  inv.Close();  // the creator never dispatches
  worker.join();
  EXPECT_FALSE(result);
}

}  // namespace
}  // namespace zp
