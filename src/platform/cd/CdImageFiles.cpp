#include "platform/cd/CdImageFiles.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace platform::cd {
namespace {

namespace fs = std::filesystem;

// Sheets are a few kilobytes; anything much larger is not one.
constexpr std::uintmax_t kMaxSheetBytes = 1 << 20;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The next word of `line` from `at` on: a quoted string without its quotes,
// else up to the next blank. Empty at the end of the line.
std::string NextWord(const std::string& line, size_t& at) {
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
    if (at >= line.size()) return {};
    size_t end;
    std::string word;
    if (line[at] == '"') {
        end = line.find('"', at + 1);
        if (end == std::string::npos) end = line.size();
        word = line.substr(at + 1, end - at - 1);
        at = std::min(line.size(), end + 1);
    } else {
        end = at;
        while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
        word = line.substr(at, end - at);
        at = end;
    }
    return word;
}

}  // namespace

std::vector<SheetFile> NamedDataFiles(const std::string& sheetPath) {
    std::error_code error;
    if (fs::file_size(sheetPath, error) > kMaxSheetBytes || error) return {};
    std::ifstream in(sheetPath);
    if (!in) return {};
    const bool toc = Lower(fs::path(sheetPath).extension().string()) == ".toc";
    const fs::path folder = fs::path(sheetPath).parent_path();
    std::vector<SheetFile> files;
    std::string line;
    while (std::getline(in, line)) {
        size_t at = 0;
        const std::string keyword = NextWord(line, at);
        const bool names =
            toc ? keyword == "FILE" || keyword == "AUDIOFILE" || keyword == "DATAFILE" : keyword == "FILE";
        if (!names) continue;
        const std::string name = NextWord(line, at);
        if (name.empty()) continue;
        SheetFile file;
        file.path = (folder / name).lexically_normal().string();
        if (!toc) file.type = NextWord(line, at);
        const bool seen =
            std::any_of(files.begin(), files.end(), [&](const SheetFile& f) { return f.path == file.path; });
        if (!seen) files.push_back(std::move(file));
    }
    return files;
}

namespace {

// A new private folder for a rewritten or linked sheet; "" when it cannot be made.
std::string MakePrivateFolder() {
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / "orvo2-cd-XXXXXX").string();
    if (error || !mkdtemp(pattern.data())) return {};
    return pattern;
}

}  // namespace

std::string LinkCueWithData(const std::string& cuePath, const std::string& dataPath) {
    std::error_code error;
    const fs::path cue = fs::absolute(cuePath, error);
    if (error) return {};
    const fs::path data = fs::absolute(dataPath, error);
    if (error) return {};
    const std::string folder = MakePrivateFolder();
    if (folder.empty()) return {};
    fs::create_symlink(cue, fs::path(folder) / "disc.cue", error);
    if (!error) fs::create_symlink(data, fs::path(folder) / "disc.bin", error);
    if (error) {
        RemoveLinkFolder(folder);
        return {};
    }
    return folder;
}

std::string CopyTocWithFullPaths(const std::string& tocPath) {
    std::error_code error;
    if (fs::file_size(tocPath, error) > kMaxSheetBytes || error) return {};
    const fs::path tocFolder = fs::absolute(tocPath, error).parent_path();
    std::ifstream in(tocPath);
    if (error || !in) return {};
    const std::string folder = MakePrivateFolder();
    if (folder.empty()) return {};
    std::ofstream out(fs::path(folder) / "disc.toc", std::ios::trunc);
    std::string line;
    while (std::getline(in, line)) {
        size_t at = 0;
        const std::string keyword = NextWord(line, at);
        const size_t open = line.find_first_not_of(" \t", at);
        const bool names = keyword == "FILE" || keyword == "AUDIOFILE" || keyword == "DATAFILE";
        if (names && open != std::string::npos && line[open] == '"') {
            size_t end = open;
            const std::string name = NextWord(line, end);
            line = line.substr(0, open) + '"' + (tocFolder / name).lexically_normal().string() + '"' +
                   line.substr(end);
        }
        out << line << '\n';
    }
    if (!out) {
        out.close();
        RemoveLinkFolder(folder);
        return {};
    }
    return folder;
}

void RemoveLinkFolder(const std::string& folder) {
    if (folder.empty()) return;
    std::error_code error;
    fs::remove(fs::path(folder) / "disc.cue", error);
    fs::remove(fs::path(folder) / "disc.bin", error);
    fs::remove(fs::path(folder) / "disc.toc", error);
    fs::remove(folder, error);
}

}  // namespace platform::cd
