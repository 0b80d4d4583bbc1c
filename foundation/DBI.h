#pragma once

// Device data the drive object keeps beside its compatibility checker: plain members, filled and
// read by the drive object itself.

#include <string>

#include "foundation/Version.h"
#include "foundation/XmlDocument.h"

namespace foundation {

class CDBI {
  public:
    virtual ~CDBI() = default;

    std::string m_strName;
    std::string m_strDescription;
    CVarRowData m_version;
    CXmlDocument m_document;
    std::string m_strText;
};

}  // namespace foundation
