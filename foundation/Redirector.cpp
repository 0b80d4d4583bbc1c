#include "foundation/Redirector.h"

#include <cstdarg>
#include <cstdio>

#include "platform/ThreadLog.h"

namespace foundation {

namespace {
constexpr size_t kPieceSize = 255;
}

CRedirector::CRedirector(uint32_t waitTimeMs) : m_dwWaitTime(waitTimeMs) {}

CRedirector::~CRedirector() {
    CRedirector::Close();
}

void CRedirector::WriteStdOut(const char*) {}

void CRedirector::WriteStdError(const char*) {}

bool CRedirector::Open(const char* commandLine, const std::string& workingFolder) {
    m_strLastError.clear();
    if (m_pThread || m_pChild) {
        m_strLastError = "a process is already open";
        return false;
    }
    auto child = std::make_unique<platform::ChildProcess>();
    platform::ChildOptions options;
    options.workingFolder = workingFolder;
    options.mergeErrorIntoOutput = true;
    if (!child->Start(platform::SplitCommandLine(commandLine ? commandLine : ""), options)) {
        m_strLastError = child->LastError();
        return false;
    }
    m_pChild = std::move(child);
    m_nReaderResult = 2;
    auto thread = std::make_unique<platform::Thread>();
    if (!thread->Start("CRedirector::OutputThread",
                       [this](platform::StopToken& stop) { ReaderThread(stop); })) {
        m_strLastError = "cannot start the output thread";
        ReleaseHandles();
        return false;
    }
    m_pThread = std::move(thread);
    return true;
}

int CRedirector::Printf(const char* format, ...) {
    if (!m_pChild) return 0;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    if (length < 0) return 0;
    return m_pChild->WriteInput(text.data(), text.size()) ? 1 : 0;
}

int32_t CRedirector::RedirectStdout() {
    if (!m_pChild) return 0;
    using Stream = platform::ChildProcess::Stream;
    char buffer[kPieceSize + 1];
    for (;;) {
        const long waiting = m_pChild->Available(Stream::Output);
        if (waiting < 0) break;
        if (waiting == 0) {
            if (m_pChild->AtEnd(Stream::Output)) return 0;
            return 1;
        }
        const size_t want =
            static_cast<size_t>(waiting) < kPieceSize ? static_cast<size_t>(waiting) : kPieceSize;
        const long got = m_pChild->Read(Stream::Output, buffer, want, 0);
        if (got == 0) return 0;
        if (got < 0) break;
        buffer[got] = '\0';
        WriteStdOut(buffer);
    }
    WriteStdError("Read stdout pipe error\r\n");
    return -1;
}

void CRedirector::ReaderThread(platform::StopToken& stop) {
    m_dwThreadId = platform::CurrentThreadId();
    // A child that has already ended still has its last output in the pipe: a stop
    // that arrives then must not lose it.
    const auto drainAfterExit = [this]() {
        const int32_t last = RedirectStdout();
        return last > 0 ? 0 : last;
    };
    int32_t result = RedirectStdout();
    while (result > 0) {
        if (stop.StopRequested()) {
            result = m_pChild->WaitExit(0) ? drainAfterExit() : 1;
            break;
        }
        if (m_pChild->WaitExit(m_dwWaitTime)) {
            result = drainAfterExit();
            break;
        }
        if (stop.StopRequested()) {
            result = m_pChild->WaitExit(0) ? drainAfterExit() : 1;
            break;
        }
        result = RedirectStdout();
    }
    m_nReaderResult = result;
}

void CRedirector::Close() {
    if (m_pThread && m_dwThreadId.load() == platform::CurrentThreadId()) {
        // The reader itself cannot wait for its own end: it stops after this write,
        // and the next Close from another thread (or the destructor) releases the rest.
        m_pThread->RequestStop();
        return;
    }
    if (m_pThread) {
        m_pThread->RequestStop();
        if (!m_pThread->JoinFor(m_dwCloseWait)) {
            WriteStdError("The redir thread is dead\r\n");
            // Threads are never killed: end the child so that the reader's pipe closes,
            // then wait for the reader to come back from the write it is stuck in.
            if (m_pChild) m_pChild->Kill();
            m_pThread->Join();
        }
    }
    ReleaseHandles();
}

void CRedirector::ReleaseHandles() {
    m_pThread.reset();
    if (m_pChild) m_pChild->Release();
    m_pChild.reset();
    m_dwThreadId = 0;
}

bool CRedirector::WaitProcess(uint32_t ms, int* exitCode) {
    if (!m_pChild) return false;
    if (!m_pChild->WaitExit(ms)) return false;
    if (exitCode) *exitCode = m_pChild->ExitCode();
    return true;
}

}  // namespace foundation
