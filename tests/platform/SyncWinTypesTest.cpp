#include "platform/SyncWinTypes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/UniqueHandle.h"
#include "platform/Win.h"
#include "support/TestSupport.h"

namespace {
bool Signaled(Handle event) { return ::WaitForSingleObject(static_cast<HANDLE>(event), 0) == WAIT_OBJECT_0; }

std::uint64_t Now() { return PlatformTools().GetTickCount(); }

// Sleeps until elapsed milliseconds have passed since start.
void SleepUntil(std::uint64_t start, std::uint64_t elapsed) {
  while (Now() - start < elapsed) ::Sleep(20);
}

RefPtr<ITerminateObject> NewTerminate(RefPtr<ITerminateObject> parent = {}) {
  return SyncObjectsProvider().CreateTerminateObject(std::move(parent));
}

TEST(TerminateObject, DelayTakesEffectOnlyWhenItHasPassed) {
  RefPtr<ITerminateObject> object = NewTerminate();
  const Handle event = object->GetEvent();
  const std::uint64_t start = Now();
  object->Terminate(5000);

  SleepUntil(start, 1000);
  // A loaded machine may oversleep; the answer is only known before the delay.
  if (Now() - start < 4800) {
    EXPECT_FALSE(object->CheckTerminated());
  }
  object->Terminate(100);  // does not shorten the pending delay
  SleepUntil(start, 2000);
  if (Now() - start < 4800) {
    EXPECT_FALSE(object->CheckTerminated());
    EXPECT_FALSE(Signaled(event));
  }

  SleepUntil(start, 5200);
  EXPECT_TRUE(object->CheckTerminated());
  EXPECT_TRUE(Signaled(event));
  EXPECT_FALSE(object->IsTerminated()) << "only an explicit request counts as requested";
}

TEST(TerminateObject, TerminateZeroEndsAPendingDelay) {
  RefPtr<ITerminateObject> object = NewTerminate();
  object->Terminate(60000);
  EXPECT_FALSE(object->CheckTerminated());
  object->Terminate(0);
  EXPECT_TRUE(object->CheckTerminated());
  EXPECT_TRUE(Signaled(object->GetEvent()));
}

TEST(TerminateObject, TerminationPropagatesDownwardsOnly) {
  RefPtr<ITerminateObject> root = NewTerminate();
  RefPtr<ITerminateObject> child = NewTerminate(root);
  RefPtr<ITerminateObject> grandchild = NewTerminate(child);
  EXPECT_EQ(grandchild->QueryRoot(), 1);
  EXPECT_EQ(grandchild->GetParent().get(), child.get());

  // The child's own termination does not reach its parent.
  child->RequestTerminate();
  EXPECT_TRUE(child->IsTerminated());
  EXPECT_TRUE(child->CheckTerminated());
  EXPECT_FALSE(root->IsTerminated());
  EXPECT_FALSE(root->CheckTerminated());
  EXPECT_FALSE(Signaled(root->GetEvent()));

  // The root's reaches every descendant when it is checked, and sets its event.
  child->Reset();
  root->RequestTerminate();
  EXPECT_TRUE(grandchild->IsTerminated());
  EXPECT_FALSE(Signaled(grandchild->GetEvent())) << "seen only when checked";
  EXPECT_TRUE(grandchild->CheckTerminated());
  EXPECT_TRUE(Signaled(grandchild->GetEvent()));
  EXPECT_TRUE(Signaled(child->GetEvent()));
}

TEST(TerminateObject, ParentChainCannotBecomeACycle) {
  RefPtr<ITerminateObject> parent = NewTerminate();
  RefPtr<ITerminateObject> child = NewTerminate(parent);
  parent->SetParent(child);
  parent->SetParent(parent);
  EXPECT_FALSE(parent->GetParent());
  EXPECT_FALSE(child->CheckTerminated());
}

TEST(TerminateObject, ResetLeavesTheTerminatedState) {
  RefPtr<ITerminateObject> object = NewTerminate();
  const Handle event = object->GetEvent();
  object->RequestTerminate();
  ASSERT_TRUE(object->CheckTerminated());
  ASSERT_TRUE(Signaled(event));

  object->Reset();
  EXPECT_FALSE(object->IsTerminated());
  EXPECT_FALSE(object->CheckTerminated());
  EXPECT_FALSE(Signaled(event));

  // A delay pending at the reset is gone too.
  object->Terminate(1);
  object->Reset();
  ::Sleep(50);
  EXPECT_FALSE(object->CheckTerminated());
}

TEST(TerminateObject, NotificationRunsOncePerTransition) {
  RefPtr<ITerminateObject> parent = NewTerminate();
  RefPtr<ITerminateObject> object = NewTerminate(parent);
  int calls = 0;
  ITerminateObject* notified = nullptr;
  object->SetOnTerminate([&](ITerminateObject& terminated) {
    ++calls;
    notified = &terminated;
    // The notification may look at the object: no lock is held.
    EXPECT_TRUE(terminated.CheckTerminated());
  });

  object->RequestTerminate();
  object->RequestTerminate();
  object->Terminate(0);
  object->CheckTerminated();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(notified, object.get());

  object->Reset();
  parent->RequestTerminate();
  object->CheckTerminated();
  object->CheckTerminated();
  EXPECT_EQ(calls, 2);
}

TEST(TerminateObject, CheckCallbackIsPolledWithTheProcessList) {
  int polls = 0;
  TExecuteProcessList* seen = nullptr;
  RefPtr<ITerminateObject> object = SyncObjectsProvider().CreateTerminateObjectWithCheck(
      [&](TExecuteProcessList& processes) {
        seen = &processes;
        return ++polls == 3;
      },
      {}, L"check");
  EXPECT_EQ(object->GetName(), L"check");
  EXPECT_FALSE(object->CheckTerminated());
  EXPECT_FALSE(object->CheckTerminated());
  EXPECT_TRUE(object->CheckTerminated());
  EXPECT_TRUE(object->CheckTerminated());
  EXPECT_EQ(polls, 3) << "not asked again once terminated";
  EXPECT_EQ(seen, &object->GetProcessList());
}

TEST(TerminateObject, EventMadeAfterTerminationIsSignalled) {
  RefPtr<ITerminateObject> object = NewTerminate();
  object->Terminate(0);
  EXPECT_TRUE(Signaled(object->GetEvent())) << "a waiter must not block on a token that is already terminated";
}

TEST(TerminateObject, WaitHandlesComeInChainOrder) {
  RefPtr<ITerminateObject> root = NewTerminate();
  RefPtr<ITerminateObject> object = NewTerminate(root);
  UniqueKernelHandle extra(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  const Handle global = GetGlobalTerminateObject()->GetEvent();

  EXPECT_EQ(object->GetWaitHandles({nullptr, extra.get()}, true),
            (std::vector<Handle>{extra.get(), object->GetEvent(), root->GetEvent(), global}));
  EXPECT_EQ(object->GetWaitHandles({}, false), (std::vector<Handle>{object->GetEvent(), root->GetEvent()}));

  // The process-wide object as an ancestor is listed once.
  RefPtr<ITerminateObject> underGlobal = NewTerminate(GetGlobalTerminateObject());
  EXPECT_EQ(underGlobal->GetWaitHandles({}, true), (std::vector<Handle>{underGlobal->GetEvent(), global}));
}

TEST(WaitObject, WaitEndsOnItsValueOrOnTermination) {
  RefPtr<ITerminateObject> terminate = NewTerminate();
  RefPtr<IWaitObject> wait = SyncObjectsProvider().CreateWaitObject(terminate);
  std::int32_t index = -1;
  EXPECT_EQ(wait->WaitIndexed(index, 10), wrTimeout);

  std::thread setter([&] {
    ::Sleep(100);
    wait->SetValue(7);
  });
  EXPECT_TRUE(wait->Wait(10000));
  setter.join();
  EXPECT_EQ(wait->GetValue(), 7);

  // A zero value signals but is no success.
  wait->Reset();
  wait->SetValue(0);
  EXPECT_FALSE(wait->Wait(0));

  wait->Reset();
  terminate->RequestTerminate();
  EXPECT_FALSE(wait->Wait(10000));
  EXPECT_EQ(wait->WaitIndexed(index, 10000), wrSignaled);
  EXPECT_EQ(index, 1);
}

TEST(SyncObjectsProvider, NamedObjectsAndWaits) {
  ISyncObjectsProvider& sync = SyncObjectsProvider();
  const std::wstring name = L"TavrelSyncTest-" + std::to_wstring(::GetCurrentProcessId());

  Handle event = sync.CreateGlobalEvent(name);
  ASSERT_NE(event, nullptr);
  Handle opened = sync.OpenGlobalEvent(name);
  ASSERT_NE(opened, nullptr);
  EXPECT_FALSE(sync.WaitForObject(opened, 0));
  sync.SignalGlobalEvent(name);
  EXPECT_TRUE(sync.WaitForObject(opened, 0));
  sync.SignalGlobalEvent(name + L"-none");  // nothing to signal, nothing happens
  sync.CloseEvent(opened);
  EXPECT_EQ(opened, nullptr);
  sync.WaitAndCloseHandle(event, 0);
  EXPECT_EQ(event, InvalidHandle);
  sync.WaitAndCloseHandle(event, 0);  // a closed handle is left alone

  // A mutex whose owner thread ended is reported abandoned, with its position.
  Handle mutex = sync.CreateGlobalMutex(name + L"-mutex");
  ASSERT_NE(mutex, nullptr);
  std::thread([&] { sync.WaitForObject(mutex, 0); }).join();
  Handle idle = sync.CreateEvent(true, false);
  std::int32_t index = -1;
  EXPECT_EQ(sync.WaitForAnyHandle({idle, mutex}, 1000, index), wrAbandoned);
  EXPECT_EQ(index, 1);
  EXPECT_TRUE(sync.ReleaseMutex(mutex));
  EXPECT_EQ(sync.WaitForAnyHandle({}, 0, index), wrFailed);
  sync.CloseHandle(mutex);
  sync.CloseEvent(idle);

  // The second mapping of a name sees what the first one wrote.
  Handle mapping = nullptr, mapping2 = nullptr;
  void* view = nullptr;
  void* view2 = nullptr;
  EXPECT_TRUE(sync.MapGlobalMemory(name + L"-map", false, 4096, mapping, view));
  ASSERT_NE(view, nullptr);
  std::memcpy(view, "shared", 7);
  EXPECT_FALSE(sync.MapGlobalMemory(name + L"-map", true, 4096, mapping2, view2));
  ASSERT_NE(view2, nullptr);
  EXPECT_STREQ(static_cast<const char*>(view2), "shared");
  sync.UnmapGlobalMemory(view2);
  EXPECT_EQ(view2, nullptr);
  sync.UnmapGlobalMemory(view);
  sync.CloseHandle(mapping2);
  sync.CloseHandle(mapping);
  EXPECT_FALSE(sync.MapGlobalMemory(name + L"-missing", true, 4096, mapping, view));
  EXPECT_EQ(view, nullptr);
  EXPECT_EQ(mapping, nullptr);
}

TEST(OverlappedObject, ReadsFileAndIsCancelledByItsTerminateObject) {
  testsupport::TempDir dir("overlapped");
  testsupport::WriteFile(dir.path() / "data.bin", "0123456789");
  UniqueKernelHandle file(::CreateFileW(dir.file(L"data.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
  ASSERT_TRUE(file);
  RefPtr<ITerminateObject> terminate = NewTerminate();
  RefPtr<IOverlappedObject> overlapped = SyncObjectsProvider().CreateOverlappedObject(terminate);
  EXPECT_EQ(overlapped->GetTerminateObject().get(), terminate.get());
  char buffer[16] = {};
  EXPECT_EQ(overlapped->Read(file.get(), 4, buffer, 16), 6);
  EXPECT_STREQ(buffer, "456789");
  EXPECT_EQ(overlapped->Read(file.get(), 10, buffer, 16), 0);

  // A read from a pipe that nobody writes to ends when the run is cancelled.
  const std::wstring pipeName = L"\\\\.\\pipe\\tavrel-overlapped-" + std::to_wstring(::GetCurrentProcessId());
  UniqueKernelHandle server(::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                               PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr));
  ASSERT_TRUE(server);
  UniqueKernelHandle client(::CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OVERLAPPED, nullptr));
  ASSERT_TRUE(client);
  EXPECT_TRUE(overlapped->ConnectNamedPipe(server.get()));
  EXPECT_EQ(overlapped->Write(client.get(), 0, "ping", 4), 4);
  EXPECT_EQ(overlapped->Read(server.get(), 0, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "ping");

  std::thread canceller([&] {
    ::Sleep(200);
    terminate->RequestTerminate();
  });
  EXPECT_EQ(overlapped->Read(server.get(), 0, buffer, 16), -1);
  canceller.join();
}
}  // namespace
