#include "platform/win32/copy_file_live.h"

#include "platform/copy_progress.h"

namespace talvex::platform {

namespace {

constexpr DWORD kHookIntervalMs = 50;

struct Job {
  const std::function<BOOL()>* call;
  BOOL result = FALSE;
  DWORD error = ERROR_SUCCESS;
};

DWORD WINAPI RunJob(void* parameter) {
  auto* job = static_cast<Job*>(parameter);
  job->result = (*job->call)();
  job->error = job->result ? ERROR_SUCCESS : ::GetLastError();
  return 0;
}

}  // namespace

BOOL CallKeepingCallerLive(const std::function<BOOL()>& call) {
  if (!HasCopyProgressHook()) return call();
  Job job{&call};
  HANDLE worker = ::CreateThread(nullptr, 0, RunJob, &job, 0, nullptr);
  if (worker == nullptr) return call();
  while (::WaitForSingleObject(worker, kHookIntervalMs) == WAIT_TIMEOUT) ReportCopyProgress();
  ::CloseHandle(worker);
  ::SetLastError(job.error);
  return job.result;
}

}  // namespace talvex::platform
