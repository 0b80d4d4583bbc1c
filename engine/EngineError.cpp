#include "engine/EngineError.h"

#include "platform/CodePage.h"

namespace engine {

void CEngineError::Clear() {
    pair_.Clear();
}

int CEngineError::Record(int code, const std::string& text) {
    pair_.Set(code, std::string_view(text).substr(0, platform::Utf8SafeCut(text, kMaxText)));
    return code;
}

int CEngineError::RecordCode(int code) {
    pair_.SetCode(code);
    return code;
}

int CEngineError::Code() const {
    return pair_.Code();
}

std::string CEngineError::Text() const {
    return pair_.Text();
}

}  // namespace engine
