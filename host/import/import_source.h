// What `za32 import` reads: a drumkit folder, its drumkit.xml, a .h2drumkit archive (read
// whole into memory, never unpacked to disk) or a .h2song. Sample names from the XML are
// taken only inside the kit's folder: absolute names and names that climb out of it are
// refused, whatever is on disk.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

enum class ImportKind { Drumkit, Song };

class ImportSource {
public:
  // HostError when SOURCE is none of the four, or cannot be read.
  explicit ImportSource(const std::filesystem::path& source);

  ImportKind kind() const { return kind_; }
  // The XML document and a name for it in messages.
  const std::string& xml() const { return xml_; }
  const std::string& xmlName() const { return xmlName_; }

  // The bytes of a sample named `filename` in the XML; for a song, `drumkit` is the kit
  // the instrument comes from, looked for beside the song and in the usual kit folders.
  // HostError naming the file for a name that is absolute, leaves the folder or is missing.
  std::vector<char> ReadSample(const std::string& filename, const std::string& drumkit = {}) const;
  // Whether ReadSample finds the file; HostError for a name that is refused, there or not.
  bool HasSample(const std::string& filename, const std::string& drumkit = {}) const;

private:
  // Nothing when no folder (or the archive) has the file.
  std::optional<std::vector<char>> FindSample(const std::string& filename,
                                              const std::string& drumkit) const;
  std::vector<std::filesystem::path> SampleFolders(const std::string& drumkit) const;

  ImportKind kind_ = ImportKind::Drumkit;
  std::string xml_;
  std::string xmlName_;
  std::vector<std::filesystem::path> folders_;     // on disk
  std::map<std::string, std::vector<char>> files_; // in an archive, by normalised name
  std::string archiveFolder_;                      // of drumkit.xml in the archive
  std::string archiveName_;
};
