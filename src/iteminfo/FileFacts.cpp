#include "iteminfo/FileFacts.h"

namespace kiv {

void FillFileFacts(KivFileFacts& facts, const std::wstring& path) {
    // Only the path is recorded so far; name, MD5, size, icon, version information
    // and times come with the file-facts reader.
    facts.filePath = path;
}

void ReleaseFileFacts(KivFileFacts& facts) {
    if (facts.icon) {
        DestroyIcon(facts.icon);
        facts.icon = nullptr;
    }
    facts.version.Reset();
    facts.fileName.clear();
    facts.extension.clear();
    facts.filePath.clear();
    facts.shortcutTarget.clear();
    facts.md5.clear();
}

}  // namespace kiv
