#pragma once

#include <string>

#include "foundation/Redirector.h"

namespace foundation {

// A runner that gathers all the child's output, and the runner's own error texts,
// into one string. Read it after Close, once the reader has ended.
class CSpawn : public CRedirector {
  public:
    explicit CSpawn(uint32_t waitTimeMs = 100) : CRedirector(waitTimeMs) {}
    ~CSpawn() override;

    const std::string& Output() const { return m_strOutput; }
    void ClearOutput() { m_strOutput.clear(); }
    void AppendOutput(const char* text);

  protected:
    void WriteStdOut(const char* text) override { AppendOutput(text); }
    void WriteStdError(const char* text) override { AppendOutput(text); }

  private:
    std::string m_strOutput;
};

}  // namespace foundation
