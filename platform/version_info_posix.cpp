#include "platform/version_info.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/os_text.h"

namespace platform {

namespace {

constexpr char kSectionName[] = ".foldweb_version";
// Far above any real record; a larger section is not taken for one, so a
// hostile file cannot make the caller allocate without bound.
constexpr std::uint64_t kMaxRecord = 1 << 20;
constexpr std::uint64_t kMaxNameTable = 16 << 20;
constexpr std::uint64_t kMaxSections = 1 << 16;

// A regular file opened for reading; never a FIFO or device.
class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::wstring& path) {
    if (path.empty() || path.find(L'\0') != std::wstring::npos) return;
    const std::string name = OsText_Encode(path);
    fd_ = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      return;
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
  }
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }

  // Exactly `length` bytes at `offset`, all inside the file.
  bool ReadAt(std::uint64_t offset, void* data, std::uint64_t length) const {
    if (offset > size_ || length > size_ - offset) return false;
    char* out = static_cast<char*>(data);
    while (length > 0) {
      const ssize_t n = ::pread(fd_, out, length, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      out += n;
      offset += static_cast<std::uint64_t>(n);
      length -= static_cast<std::uint64_t>(n);
    }
    return true;
  }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

struct Section {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// The record section of an ELF64 file in this machine's byte order.
std::optional<Section> FindRecord(const ReadOnlyFile& file) {
  Elf64_Ehdr eh{};
  if (!file.ReadAt(0, &eh, sizeof eh)) return std::nullopt;
  constexpr unsigned char kOwnOrder = std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64 ||
      eh.e_ident[EI_DATA] != kOwnOrder || eh.e_shoff == 0 || eh.e_shentsize != sizeof(Elf64_Shdr)) {
    return std::nullopt;
  }
  auto header = [&](std::uint64_t index, Elf64_Shdr& sh) {
    return file.ReadAt(eh.e_shoff + index * sizeof(Elf64_Shdr), &sh, sizeof sh);
  };
  // More than 0xff00 sections, or a name table index that large, are kept
  // in the first section header.
  std::uint64_t count = eh.e_shnum;
  std::uint64_t names_index = eh.e_shstrndx;
  if (count == 0 || names_index == SHN_XINDEX) {
    Elf64_Shdr first{};
    if (!header(0, first)) return std::nullopt;
    if (count == 0) count = first.sh_size;
    if (names_index == SHN_XINDEX) names_index = first.sh_link;
  }
  if (count > kMaxSections || names_index >= count) return std::nullopt;

  Elf64_Shdr names{};
  if (!header(names_index, names) || names.sh_type == SHT_NOBITS || names.sh_size > kMaxNameTable) {
    return std::nullopt;
  }
  std::string table(names.sh_size, '\0');
  if (!file.ReadAt(names.sh_offset, table.data(), table.size())) return std::nullopt;

  const std::string_view wanted(kSectionName, sizeof kSectionName);  // with its NUL
  for (std::uint64_t i = 0; i < count; ++i) {
    Elf64_Shdr sh{};
    if (!header(i, sh)) return std::nullopt;
    if (sh.sh_name >= table.size() || table.compare(sh.sh_name, wanted.size(), wanted) != 0) continue;
    if (sh.sh_type == SHT_NOBITS || sh.sh_size == 0 || sh.sh_size > kMaxRecord) return std::nullopt;
    Section found{sh.sh_offset, sh.sh_size};
    char probe = 0;
    // The whole section must lie inside the file.
    if (!file.ReadAt(found.offset + found.size - 1, &probe, 1)) return std::nullopt;
    return found;
  }
  return std::nullopt;
}

// The key/value pairs of a record, in their order, up to the empty key.
std::vector<std::pair<std::string_view, std::string_view>> Pairs(const void* data, std::size_t size) {
  std::vector<std::pair<std::string_view, std::string_view>> out;
  const std::string_view all(static_cast<const char*>(data), size);
  std::size_t at = 0;
  while (at < all.size()) {
    const std::size_t key_end = all.find('\0', at);
    if (key_end == std::string_view::npos || key_end == at) break;
    const std::size_t value_end = all.find('\0', key_end + 1);
    if (value_end == std::string_view::npos) break;
    out.emplace_back(all.substr(at, key_end - at), all.substr(key_end + 1, value_end - key_end - 1));
    at = value_end + 1;
  }
  return out;
}

// Keys and block names compare without regard to ASCII letter case.
bool SameLetters(std::wstring_view a, std::string_view b_bytes) {
  const std::wstring b = OsText_Decode(b_bytes);
  if (a.size() != b.size()) return false;
  auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::optional<std::uint16_t> Hex4(std::wstring_view digits) {
  if (digits.size() != 4) return std::nullopt;
  std::uint16_t value = 0;
  for (wchar_t c : digits) {
    int d = -1;
    if (c >= L'0' && c <= L'9') d = c - L'0';
    if (c >= L'a' && c <= L'f') d = c - L'a' + 10;
    if (c >= L'A' && c <= L'F') d = c - L'A' + 10;
    if (d < 0) return std::nullopt;
    value = static_cast<std::uint16_t>(value * 16 + d);
  }
  return value;
}

// "LLLLCCCC" words separated by blanks; nullopt when one is malformed.
std::optional<std::vector<VersionTranslation>> Translations(std::string_view text) {
  std::vector<VersionTranslation> out;
  const std::wstring wide = OsText_Decode(text);
  std::size_t at = 0;
  while (true) {
    at = wide.find_first_not_of(L" \t", at);
    if (at == std::wstring::npos) break;
    std::size_t end = wide.find_first_of(L" \t", at);
    if (end == std::wstring::npos) end = wide.size();
    const std::wstring_view word = std::wstring_view(wide).substr(at, end - at);
    const auto language = Hex4(word.substr(0, 4));
    const auto code_page = word.size() == 8 ? Hex4(word.substr(4)) : std::nullopt;
    if (!language || !code_page) return std::nullopt;
    out.push_back({*language, *code_page});
    at = end;
  }
  return out;
}

std::vector<std::wstring> Components(const std::wstring& sub_block) {
  std::vector<std::wstring> out;
  std::wstring piece;
  for (wchar_t c : sub_block) {
    if (c == L'\\' || c == L'/') {
      if (!piece.empty()) out.push_back(piece);
      piece.clear();
    } else {
      piece += c;
    }
  }
  if (!piece.empty()) out.push_back(piece);
  return out;
}

}  // namespace

std::uint32_t VersionInfo_GetSize(const std::wstring& path, std::uint32_t& handle) {
  handle = 0;
  const ReadOnlyFile file(path);
  if (!file.IsOpen()) return 0;
  const auto record = FindRecord(file);
  return record ? static_cast<std::uint32_t>(record->size) : 0;
}

bool VersionInfo_Read(const std::wstring& path, std::uint32_t /*handle*/, std::uint32_t length, void* data) {
  const ReadOnlyFile file(path);
  if (!file.IsOpen() || data == nullptr) return false;
  const auto record = FindRecord(file);
  if (!record) return false;
  const std::uint64_t take = record->size < length ? record->size : length;
  return file.ReadAt(record->offset, data, take);
}

bool VersionInfo_Query(const void* data, std::size_t size, const std::wstring& sub_block, VersionValue& out) {
  out = VersionValue{};
  if (data == nullptr) return false;
  const auto pairs = Pairs(data, size);
  auto lookup = [&](std::wstring_view key) -> std::optional<std::string_view> {
    for (const auto& [k, v] : pairs) {
      if (SameLetters(key, k)) return v;
    }
    return std::nullopt;
  };
  const auto translation_text = lookup(L"Translation");
  const auto translations =
      translation_text ? Translations(*translation_text) : std::optional<std::vector<VersionTranslation>>();
  const std::vector<std::wstring> parts = Components(sub_block);
  auto named = [](const std::wstring& part, std::string_view name) { return SameLetters(part, name); };

  if (parts.size() == 2 && named(parts[0], "VarFileInfo") && named(parts[1], "Translation")) {
    if (!translations) return false;
    out.translations = *translations;
    out.length = static_cast<std::uint32_t>(4 * translations->size());
    return true;
  }
  if (parts.size() == 3 && named(parts[0], "StringFileInfo") && translations) {
    bool known = false;
    for (const VersionTranslation& t : *translations) {
      known = known || (parts[1].size() == 8 && Hex4(std::wstring_view(parts[1]).substr(0, 4)) == t.language &&
                        Hex4(std::wstring_view(parts[1]).substr(4)) == t.code_page);
    }
    const auto value = known ? lookup(parts[2]) : std::nullopt;
    if (!value) return false;
    out.text = OsText_Decode(*value);
    out.length = static_cast<std::uint32_t>(out.text.size());
    return true;
  }
  return false;
}

}  // namespace platform
