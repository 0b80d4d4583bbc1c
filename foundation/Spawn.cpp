#include "foundation/Spawn.h"

namespace foundation {

CSpawn::~CSpawn() {
    // The reader calls AppendOutput: it must have ended before the string goes.
    Close();
}

void CSpawn::AppendOutput(const char* text) {
    if (text) m_strOutput += text;
}

}  // namespace foundation
