#pragma once
// The user's own folders as the desktop names them (XDG user directories).

#include "app/settings/settings_store.h"

namespace ravlen {

class QtSpecialFolders : public SpecialFolders {
public:
    // "" when the desktop names none or it cannot be created.
    std::string Pictures(bool create) override;
    std::string Documents() override;
    std::string Home() override;
};

}  // namespace ravlen
