#pragma once
// Private-profile (INI) files with the semantics of GetPrivateProfileString /
// WritePrivateProfileString.
#include <cstddef>
#include <string>

namespace zq {

class IProfile {
public:
    virtual ~IProfile() = default;
    // Copies the value (or the default) into a buffer of bufferSize characters: at most
    // bufferSize - 1 characters come back. Sections and keys match without regard to case.
    // A missing file, section or key gives the default.
    virtual std::string GetString(const std::string& section, const std::string& key,
                                  const std::string& defaultValue, std::size_t bufferSize,
                                  const std::string& file) = 0;
    // Writes the value raw (embedded CR LF included); a rewritten key takes the key name
    // passed; a new key goes to the end of its section, a new section to the end of the file;
    // the file is created when missing and replaced atomically. False on failure.
    virtual bool WriteString(const std::string& section, const std::string& key,
                             const std::string& value, const std::string& file) = 0;
    // Removes what an interrupted write of the file left beside it (temporary files of a
    // writer that is gone). Writers that leave nothing need not do anything.
    virtual void RemoveLeftovers(const std::string& file) { (void)file; }
};

}  // namespace zq
