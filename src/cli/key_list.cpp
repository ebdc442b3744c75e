#include "cli/key_list.h"

#include "app/settings/settings_store.h"

namespace ravlen {

void PrintKeyList(std::FILE* out) {
    for (const SettingsKey& k : AllSettingsKeys()) {
        if (k.IsNumber()) std::fprintf(out, "%s %d %d\n", k.key, k.minimum, k.maximum);
        else std::fprintf(out, "%s\n", k.key);
    }
}

}  // namespace ravlen
