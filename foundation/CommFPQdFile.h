#pragma once

// The peer-tool exchanges run against files instead of a live peer: the program was started with
// a configuration file ("Qz=" on the command line). Answers come from the definitions file
// "<folder>/<name>.xml"; the configuration goes back into "<folder>/<name>.Qz.xml".

#include <cstdint>
#include <filesystem>
#include <string>

namespace foundation {

class CCommFPQdFile {
  public:
    std::string m_folder;    // path up to its last separator; empty when none
    std::string m_fileName;  // the rest, without a final ".xml" (see SetConfigurationPath)
    bool m_fromFiles = false;

    // Takes the configuration-file path of the command line and sets the from-files flag. The
    // folder ends at the last '\' or '/'; a final lower-case ".xml" is dropped only when what
    // stays before it is longer than four characters ("plant.xml" -> "plant", "a.xml" stays).
    void SetConfigurationPath(const std::string& path);

    std::filesystem::path DefinitionsFile() const;
    std::filesystem::path ConfigurationFile() const;

    // The answer stored for that request code: the CDATA text of the first child of the root
    // whose integer attribute "code" equals it; empty when the file can't be loaded or holds no
    // such child.
    std::string GetDefinition(int32_t code) const;

  private:
    std::filesystem::path InFolder(const std::string& fileName) const;
};

}  // namespace foundation
