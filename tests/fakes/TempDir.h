#pragma once

#include <string>

namespace drovane::fakes {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() joined with `relative`.
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

    // Writes `contents` to path()/relative, creating the folders on the way; returns the path.
    std::string write(const std::string& relative, const std::string& contents) const;

private:
    std::string m_path;
};

} // namespace drovane::fakes
