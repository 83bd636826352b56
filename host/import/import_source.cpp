#include "host/import/import_source.h"

#include "host/files/input_file.h"
#include "host/host_error.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdlib>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// No kit needs more; a larger archive is refused before it fills the memory.
constexpr int64_t kMaxArchiveBytes = int64_t(2) << 30;

std::vector<char> ReadWholeFile(const fs::path& file) {
  std::string bytes = ReadInputFile(file, "file", kMaxArchiveBytes);
  return std::vector<char>(bytes.begin(), bytes.end());
}

bool HasExtension(const fs::path& file, const char* extension) {
  std::string ext = file.extension().string();
  for (char& c : ext)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == extension;
}

// The name relative to the kit's folder, or HostError: kits name samples by file name,
// so anything absolute or climbing out of the folder is not one of the kit's files.
fs::path InsideName(const std::string& filename, const std::string& where) {
  if (filename.empty())
    throw HostError(where + ": a layer has no sample file name");
  if (filename.find('\0') != std::string::npos)
    throw HostError(where + ": a sample file name contains a zero character");
  fs::path name(filename);
  if (name.is_absolute() || name.has_root_path() || filename.find('\\') == 0 ||
      (filename.size() > 1 && filename[1] == ':'))
    throw HostError(where + ": sample " + filename +
                    ": absolute paths are refused; a kit names its samples inside its folder");
  fs::path normal = name.lexically_normal();
  if (normal.empty() || *normal.begin() == ".." || normal == ".")
    throw HostError(where + ": sample " + filename + ": leaves the kit's folder; refused");
  return normal;
}

void ReadArchive(const fs::path& file, std::map<std::string, std::vector<char>>& files) {
  std::unique_ptr<archive, decltype(&archive_read_free)> reader(archive_read_new(),
                                                                archive_read_free);
  archive_read_support_filter_all(reader.get());
  archive_read_support_format_all(reader.get());
  auto fail = [&](const std::string& what) {
    const char* reason = archive_error_string(reader.get());
    throw HostError(file.string() + ": " + what + (reason ? std::string(": ") + reason : ""));
  };
  if (archive_read_open_filename(reader.get(), file.c_str(), 1 << 16) != ARCHIVE_OK)
    fail("not a readable kit archive");
  int64_t total = 0;
  archive_entry* entry = nullptr;
  for (;;) {
    int status = archive_read_next_header(reader.get(), &entry);
    if (status == ARCHIVE_EOF)
      break;
    if (status < ARCHIVE_WARN)
      fail("not a readable kit archive");
    if (archive_entry_filetype(entry) != AE_IFREG)
      continue;
    int64_t size = archive_entry_size(entry);
    if (size < 0)
      fail(std::string("entry ") + archive_entry_pathname(entry) + " does not give its size");
    total += size;
    if (total > kMaxArchiveBytes)
      throw HostError(file.string() + ": the archive holds more than " +
                      std::to_string(kMaxArchiveBytes >> 30) + " GB; refused");
    std::vector<char> bytes(static_cast<size_t>(size));
    la_ssize_t got = size ? archive_read_data(reader.get(), bytes.data(), bytes.size()) : 0;
    if (got != size)
      fail(std::string("cannot read ") + archive_entry_pathname(entry) + " in the archive");
    // Entries that are absolute or climb out are kept under their own odd names; no
    // sample name can reach them.
    files[fs::path(archive_entry_pathname(entry)).lexically_normal().generic_string()] =
        std::move(bytes);
  }
}

} // namespace

ImportSource::ImportSource(const fs::path& source) {
  std::error_code error;
  if (!fs::exists(source, error))
    throw HostError(source.string() + ": no such file or folder");
  if (fs::is_directory(source, error)) {
    fs::path xml = source / "drumkit.xml";
    if (!fs::is_regular_file(xml, error))
      throw HostError(source.string() + ": has no drumkit.xml; not a drumkit folder");
    std::vector<char> text = ReadWholeFile(xml);
    xml_.assign(text.begin(), text.end());
    xmlName_ = xml.string();
    folders_.push_back(source);
    return;
  }
  if (HasExtension(source, ".h2drumkit")) {
    ReadArchive(source, files_);
    // The kit's drumkit.xml: the one nearest the top of the archive.
    const std::string* found = nullptr;
    for (const auto& [name, bytes] : files_) {
      fs::path path(name);
      if (path.filename() == "drumkit.xml" && !path.is_absolute() && *path.begin() != ".." &&
          (!found || std::distance(path.begin(), path.end()) <
                         std::distance(fs::path(*found).begin(), fs::path(*found).end())))
        found = &name;
    }
    if (!found)
      throw HostError(source.string() + ": the archive has no drumkit.xml; not a drumkit");
    const std::vector<char>& text = files_[*found];
    xml_.assign(text.begin(), text.end());
    archiveFolder_ = fs::path(*found).parent_path().generic_string();
    archiveName_ = source.string();
    xmlName_ = source.string() + ": " + *found;
    return;
  }
  std::vector<char> text = ReadWholeFile(source);
  xml_.assign(text.begin(), text.end());
  xmlName_ = source.string();
  kind_ = HasExtension(source, ".h2song") ? ImportKind::Song : ImportKind::Drumkit;
  folders_.push_back(source.parent_path().empty() ? fs::path(".") : source.parent_path());
}

std::optional<std::vector<char>> ImportSource::FindSample(const std::string& filename,
                                                          const std::string& drumkit) const {
  fs::path name = InsideName(filename, xmlName_);
  if (!archiveName_.empty()) {
    fs::path inArchive = archiveFolder_.empty() ? name : fs::path(archiveFolder_) / name;
    auto found = files_.find(inArchive.generic_string());
    if (found == files_.end())
      return std::nullopt;
    return found->second;
  }
  std::error_code error;
  for (const fs::path& folder : SampleFolders(drumkit)) {
    fs::path file = folder / name;
    if (!fs::is_regular_file(file, error))
      continue;
    // A link inside the folder may still point out of it.
    fs::path real = fs::canonical(file, error);
    fs::path base = fs::canonical(folder, error);
    if (error ||
        std::mismatch(base.begin(), base.end(), real.begin(), real.end()).first != base.end())
      throw HostError(xmlName_ + ": sample " + filename +
                      " leads out of the kit's folder; refused");
    return ReadWholeFile(file);
  }
  return std::nullopt;
}

bool ImportSource::HasSample(const std::string& filename, const std::string& drumkit) const {
  fs::path name = InsideName(filename, xmlName_);
  if (!archiveName_.empty())
    return files_.count(
        (archiveFolder_.empty() ? name : fs::path(archiveFolder_) / name).generic_string());
  std::error_code error;
  for (const fs::path& folder : SampleFolders(drumkit))
    if (fs::is_regular_file(folder / name, error))
      return true;
  return false;
}

std::vector<char> ImportSource::ReadSample(const std::string& filename,
                                           const std::string& drumkit) const {
  if (std::optional<std::vector<char>> bytes = FindSample(filename, drumkit))
    return std::move(*bytes);
  if (!archiveName_.empty())
    throw HostError(archiveName_ + ": sample " + filename + " is not in the archive");
  std::vector<fs::path> folders = SampleFolders(drumkit);
  throw HostError(xmlName_ + ": sample " + filename + " is missing (looked in " +
                  folders.front().string() + (folders.size() > 1 ? " and the kit folders" : "") +
                  ")");
}

std::vector<fs::path> ImportSource::SampleFolders(const std::string& drumkit) const {
  // A song's samples are its kit's: beside the song, in a folder named after the kit
  // there, or in the user's and the system's kit folders.
  std::vector<fs::path> folders;
  if (kind_ == ImportKind::Song && !drumkit.empty() &&
      fs::path(drumkit).filename() == fs::path(drumkit) && drumkit != "..") {
    folders.push_back(folders_[0] / drumkit);
    if (const char* home = std::getenv("HOME"))
      folders.push_back(fs::path(home) / ".hydrogen/data/drumkits" / drumkit);
    folders.push_back(fs::path("/usr/share/hydrogen/data/drumkits") / drumkit);
  }
  folders.insert(folders.end(), folders_.begin(), folders_.end());
  return folders;
}
