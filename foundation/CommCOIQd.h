#pragma once

// Configuration messages with the peer engineering tool when the program runs embedded in it:
// start-up information, the configuration document, permission to end a page's configure step
// and the hand-back of the configuration. XML texts over the peer-tool link, or against files
// when the program was started with a configuration file.

#include <cstdint>
#include <string>

#include "foundation/CommFP.h"
#include "foundation/CommFPQdFile.h"
#include "foundation/Identity.h"
#include "foundation/XmlDocument.h"
#include "platform/Clock.h"

namespace foundation {

// What the drive's communication object offers here: the known vocabularies.
class CVocabularyListSource {
  public:
    virtual ~CVocabularyListSource() = default;
    // Fills list with a root holding one entry per known vocabulary, each readable by
    // CIdentity::ReadDeviceNode; the number of entries, or a negative code.
    virtual int GetVocabularyList(CXmlDocument& list) = 0;
};

class CCommCOIQd {
  public:
    // Request codes the program sends.
    enum : int32_t {
        kReqGetStartupInfo = 17,
        kReqSaveParamFile = 19,
        kReqCanEndConfigure = 20,
        kReqSetConfiguration = 21,
        kReqGetBackConfiguration = 22,
        kReqGetOnlineInfo = 25,
    };
    static constexpr uint32_t kStartupInfoVersion = 1;

    explicit CCommCOIQd(platform::Clock& clock = platform::SystemClock());
    virtual ~CCommCOIQd();
    CCommCOIQd(const CCommCOIQd&) = delete;
    CCommCOIQd& operator=(const CCommCOIQd&) = delete;

    // Asks for the start-up information (code 17) and takes the product, the parameters file and
    // the definitions from it. False with the reason in m_lastError (a failed exchange and a
    // declined prompt leave it empty).
    bool ReqGetStartupInfo();
    // The configuration request of the start-up (code 21): the answer replaces the configuration
    // document when it can be read. False otherwise (the old configuration stays).
    bool ReqSetConfiguration();
    // Offers the pending configuration (code 20): 0 accepted, 1 answer unreadable, 2 refused
    // with the peer's text in m_lastError.
    int32_t ReqCanEndConfigure();
    // Hands the configuration back (code 22), or writes it to the configuration file; shows a
    // failure in a message box itself.
    void ReqGetBackConfiguration();

    CXmlDocument m_pendingConfiguration;
    CXmlDocument m_configuration;
    CXmlDocument m_definitions;
    bool m_createDefaultParamFile = false;
    std::string m_paramFile;
    uint32_t m_hardwareCode = 0;
    CIdentity m_productIdentity;
    CVocabularyListSource* m_communication = nullptr;
    CCommFPQd m_channel;
    CCommFPQdFile m_file;
    std::string m_title;
    bool m_unconfirmedPageChanges = false;
    bool m_configurationChanged = false;
    bool m_paramFileChanged = false;
    std::string m_lastError;

  private:
    // The exchange of one request: from the definitions file or over the link.
    bool Exchange(int32_t code, const std::string& text, std::string& answer);
    void ChooseNewestKnownRelease(int32_t productCode);
    // The step 9 questions; false when the user declines to create a missing file.
    bool DecideParamFileCreation(int32_t create);
};

}  // namespace foundation
