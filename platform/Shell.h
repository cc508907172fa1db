#pragma once
#include <string>

namespace zq {

class IShell {
public:
    virtual ~IShell() = default;
    virtual bool Open(const std::string& address) = 0;    // verb "Open"
    virtual bool Explore(const std::string& folder) = 0;  // verb "explore"
};

}  // namespace zq
