#include "fakes/FakeHost.h"

#include <filesystem>

namespace drovane::fakes {

FakeHost::FakeHost() : m_home(m_tree.path() + "/home") {
    std::filesystem::create_directories(m_home);
    std::filesystem::create_directories(m_tree.path() + "/root");
    std::filesystem::create_directories(m_tree.path() + "/tmp");
}

std::optional<std::string> FakeHost::environment(const std::string& name) const {
    auto it = env.find(name);
    return it == env.end() ? std::nullopt : std::optional<std::string>(it->second);
}

} // namespace drovane::fakes
