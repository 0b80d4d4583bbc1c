#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/Thread.h"

namespace foundation {

// Runs a command line with its standard input, output and error on pipes and hands
// the output, in pieces of at most 255 bytes, to WriteStdOut on a reader thread of
// its own. Standard output and error arrive in one stream, as the tools print them.
//
// A class that overrides the write operations must call Close in its own destructor:
// the reader thread calls them until Close returns.
class CRedirector {
  public:
    explicit CRedirector(uint32_t waitTimeMs = 100);
    virtual ~CRedirector();
    CRedirector(const CRedirector&) = delete;
    CRedirector& operator=(const CRedirector&) = delete;

    // Starts the process and the reader; true when both run. The command line is split
    // into arguments as SplitCommandLine does (quotes group). The child starts
    // in workingFolder (empty: the caller's). False while a process is still open.
    bool Open(const char* commandLine, const std::string& workingFolder = {});
    // Formats the text and writes it into the child's standard input; 0 when there is
    // no input pipe or the write failed, 1 when written.
    int Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Stops the reader (waiting up to 5000 ms for it), ends a child that still runs and
    // releases everything; the object can be opened again. Safe when never opened and
    // when repeated. Called from the reader thread it only asks the reader to stop.
    virtual void Close();
    // Moves what waits in the output pipe to WriteStdOut: 1 when the pipe is open and
    // empty, 0 when the child closed it, -1 on another read error.
    int32_t RedirectStdout();

    // Waits for the child to end (0xFFFFFFFF: no limit); true with its exit status
    // (the exit code, or 128 + signal number) when it has.
    bool WaitProcess(uint32_t ms, int* exitCode);
    // Why the last Open failed.
    const std::string& LastError() const { return m_strLastError; }
    // How the reader ended: 0 the child closed the output, 1 stopped, -1 read error;
    // 2 while it runs or before it ran.
    int32_t ReaderResult() const { return m_nReaderResult.load(); }
    unsigned ReaderThreadId() const { return m_dwThreadId.load(); }

  protected:
    virtual void WriteStdOut(const char* text);
    virtual void WriteStdError(const char* text);
    // How long Close waits for the reader before it reports it dead.
    uint32_t m_dwCloseWait = 5000;

  private:
    void ReaderThread(platform::StopToken& stop);
    void ReleaseHandles();

    std::unique_ptr<platform::Thread> m_pThread;
    std::atomic<unsigned> m_dwThreadId{0};
    uint32_t m_dwWaitTime;
    std::unique_ptr<platform::ChildProcess> m_pChild;
    std::atomic<int32_t> m_nReaderResult{2};
    std::string m_strLastError;
};

}  // namespace foundation
