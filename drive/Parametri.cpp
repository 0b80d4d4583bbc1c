#include "drive/Parametri.h"

namespace drive {

CParametri::CParametri() : data(std::make_unique<CParamData>()), data2(std::make_unique<CParamData>()) {}

CParametri::~CParametri() {
    Clear();
    data.reset();
    data2.reset();
}

void CParametri::Clear() {
    ioLists.clear();
    variables.clear();
}

}  // namespace drive
