#pragma once

#include <cstddef>
#include <string>

#include "transport/ErrorPair.h"

namespace engine {

// The engine's error pair: code and last-error text of the latest failure. The pair locks
// itself, so the engine's own records and the channels' writes through Pair() share one lock.
class CEngineError {
  public:
    static constexpr size_t kMaxText = 254;

    void Clear();
    // Stores code and text (cut to 254 bytes, never inside a UTF-8 sequence); returns the code.
    int Record(int code, const std::string& text);
    // Stores only the code; the text stays as it is.
    int RecordCode(int code);
    int Code() const;
    std::string Text() const;
    // The pair itself, handed to the channels that fill it on protocol failures from the thread
    // that runs the transfer.
    transport::CErrorPair* Pair() { return &pair_; }

  private:
    transport::CErrorPair pair_;
};

}  // namespace engine
