#pragma once

#include <string>
#include <vector>

// The files around a CD image's sheet (.cue or .toc), checked before libcdio
// opens it: libcdio reports a missing data file only as a failed open, and its
// .cue reader takes the audio from the .bin named like the sheet, whatever the
// sheet's FILE line says, and its .toc reader looks for the files a sheet
// names in the working folder.
namespace platform::cd {

// A data file a sheet names: its path (relative names resolved against the
// sheet's folder) and, for a .cue, its type as written (BINARY, WAVE, ...).
struct SheetFile {
    std::string path;
    std::string type;
};

// The FILE lines of a .cue, or the FILE, AUDIOFILE and DATAFILE lines of a
// .toc, in order; each file once. Empty when the sheet names none or cannot
// be read.
std::vector<SheetFile> NamedDataFiles(const std::string& sheetPath);

// A new private folder holding links "disc.cue" to `cuePath` and "disc.bin" to
// `dataPath`, so that libcdio, opening the link to the sheet, reads the named
// file. Returns the folder, "" when it could not be made.
std::string LinkCueWithData(const std::string& cuePath, const std::string& dataPath);
// A new private folder holding "disc.toc", a copy of the .toc at `tocPath`
// whose data file names are full paths: libcdio looks for a .toc's files in
// the program's working folder, not in the sheet's. "" when it could not be
// made.
std::string CopyTocWithFullPaths(const std::string& tocPath);
// Removes a folder LinkCueWithData or CopyTocWithFullPaths made, with its files.
void RemoveLinkFolder(const std::string& folder);

}  // namespace platform::cd
