#include "platform/win32/copy_file_live.h"

#include "platform/copy_progress.h"

namespace talvex::platform {

namespace {

constexpr DWORD kHookIntervalMs = 50;

struct CopyJob {
  const wchar_t* source;
  const wchar_t* target;
  BOOL copied = FALSE;
  DWORD error = ERROR_SUCCESS;
};

DWORD WINAPI RunCopy(void* parameter) {
  auto* job = static_cast<CopyJob*>(parameter);
  job->copied = ::CopyFileW(job->source, job->target, FALSE);
  job->error = job->copied ? ERROR_SUCCESS : ::GetLastError();
  return 0;
}

}  // namespace

BOOL CopyFileKeepingCallerLive(const wchar_t* source, const wchar_t* target) {
  if (!HasCopyProgressHook()) return ::CopyFileW(source, target, FALSE);
  CopyJob job{source, target};
  HANDLE worker = ::CreateThread(nullptr, 0, RunCopy, &job, 0, nullptr);
  if (worker == nullptr) return ::CopyFileW(source, target, FALSE);
  while (::WaitForSingleObject(worker, kHookIntervalMs) == WAIT_TIMEOUT) ReportCopyProgress();
  ::CloseHandle(worker);
  ::SetLastError(job.error);
  return job.copied;
}

}  // namespace talvex::platform
