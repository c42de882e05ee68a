#include "tools/archive_writer.h"

#include <cerrno>
#include <cstring>

#include "tools/byte_io.h"
#include "tools/error_words.h"
#include "tools/native_file.h"
#include "tools/output_file.h"

namespace zep::tool {
namespace {

constexpr std::size_t kCopyPiece = 1 << 16;

bool write_item_data(const PackItem& item, ByteSink& sink, std::string& error) {
  if (item.in_memory) {
    if (item.bytes.size() != item.length) {
      error = "internal: the data of " + item.name + " changed its length";
      return false;
    }
    if (!sink.write(item.bytes.data(), item.bytes.size())) {
      error = sink.write_failure();
      return false;
    }
    return true;
  }
  std::FILE* file = open_to_read(item.path);
  if (file == nullptr) {
    error = cannot_native("read", item.path.string());
    return false;
  }
  std::vector<u8> piece(kCopyPiece);
  u64 left = item.length;
  bool ok = true;
  while (ok && left > 0) {
    std::size_t want = left < kCopyPiece ? static_cast<std::size_t>(left) : kCopyPiece;
    std::size_t got = std::fread(piece.data(), 1, want, file);
    if (got != want) {
      error = std::ferror(file) ? cannot_errno("read", item.path.string())
                                : item.path.string() + " became shorter while it was being packed";
      ok = false;
    } else if (!sink.write(piece.data(), got)) {
      error = sink.write_failure();
      ok = false;
    }
    left -= got;
  }
  if (ok && std::fgetc(file) != EOF) {
    error = item.path.string() + " became longer while it was being packed";
    ok = false;
  }
  std::fclose(file);
  return ok;
}

}  // namespace

bool plan_archive(const std::vector<PackItem>& patches, const std::vector<PackItem>& files, ArchivePlan& plan,
                  std::string& error) {
  u64 count = u64{patches.size()} + files.size();
  u64 at = kEntryTableOffset + count * sizeof(ArchiveEntry);
  std::vector<ArchiveEntry> entries;
  for (const std::vector<PackItem>* group : {&patches, &files}) {
    for (const PackItem& item : *group) {
      if (at > kMaxArchiveLength) break;
      ArchiveEntry entry{};
      entry.name_offset = static_cast<u32>(at);
      entry.name_length = static_cast<u32>(item.name.size());
      entry.flags = item.flags;
      at += item.name.size();
      entry.data_offset = static_cast<u32>(at);
      entry.data_length = static_cast<u32>(item.length);
      at += item.length;
      entries.push_back(entry);
    }
  }
  if (at > kMaxArchiveLength) {
    error = "the archive would be more than " + std::to_string(kMaxArchiveLength) +
            " bytes, the most a self-extracting file can address (4 GiB - 1 with the archive at 40960)";
    return false;
  }
  ArchivePlan result;
  std::memcpy(result.header.magic, kArchiveMagic, sizeof kArchiveMagic);
  result.header.reserved = 0;
  result.header.patch_count = static_cast<u32>(patches.size());
  result.header.file_count = static_cast<u32>(files.size());
  result.header.reserved_byte = 0;
  result.header.total_length = static_cast<u32>(at);
  result.entries = std::move(entries);
  plan = std::move(result);
  return true;
}

std::vector<u8> archive_head(const ArchivePlan& plan) {
  std::vector<u8> head;
  put_bytes(head, plan.header.magic, sizeof plan.header.magic);
  put_u32(head, plan.header.reserved);
  put_u32(head, plan.header.patch_count);
  put_u32(head, plan.header.file_count);
  put_u8(head, plan.header.reserved_byte);
  put_u32(head, plan.header.total_length);
  for (const ArchiveEntry& entry : plan.entries) {
    put_u32(head, entry.name_offset);
    put_u32(head, entry.name_length);
    put_u32(head, entry.flags);
    put_u32(head, entry.data_offset);
    put_u32(head, entry.data_length);
  }
  return head;
}

bool ByteSink::write_zeros(u64 count) {
  static const u8 kZeros[4096] = {};
  while (count > 0) {
    std::size_t piece = count < sizeof kZeros ? static_cast<std::size_t>(count) : sizeof kZeros;
    if (!write(kZeros, piece)) return false;
    count -= piece;
  }
  return true;
}

bool VectorSink::write(const void* data, std::size_t length) {
  put_bytes(out_, data, length);
  return true;
}

bool FileSink::write(const void* data, std::size_t length) {
  for (std::FILE* file : files_) {
    if (std::fwrite(data, 1, length, file) != length) {
      failed_errno_ = errno;
      failed_ = file;
      return false;
    }
  }
  return true;
}

std::string FileSink::write_failure() const {
  std::string name = pending_target_of(failed_);
  if (name.empty()) name = "the output";
  errno = failed_errno_;
  return cannot_errno("write", name);
}

bool write_archive(const ArchivePlan& plan, const std::vector<PackItem>& patches, const std::vector<PackItem>& files,
                   ByteSink& sink, std::string& error) {
  std::vector<u8> head = archive_head(plan);
  if (!sink.write(head.data(), head.size())) {
    error = sink.write_failure();
    return false;
  }
  for (const std::vector<PackItem>* group : {&patches, &files}) {
    for (const PackItem& item : *group) {
      if (!sink.write(item.name.data(), item.name.size())) {
        error = sink.write_failure();
        return false;
      }
      if (!write_item_data(item, sink, error)) return false;
    }
  }
  return true;
}

bool build_archive(const std::vector<PackItem>& patches, const std::vector<PackItem>& files, std::vector<u8>& out,
                   std::string& error) {
  ArchivePlan plan;
  if (!plan_archive(patches, files, plan, error)) return false;
  std::vector<u8> bytes;
  VectorSink sink(bytes);
  if (!write_archive(plan, patches, files, sink, error)) return false;
  out = std::move(bytes);
  return true;
}

bool build_self_extracting_head(const std::vector<u8>& stub, const std::vector<u8>& uninstaller, std::vector<u8>& out,
                                std::string& error) {
  if (stub.empty()) {
    error = "the installer stub is empty";
    return false;
  }
  if (stub.size() > kUninstallerOffset) {
    error = "the installer stub is " + std::to_string(stub.size()) + " bytes; it must fit the " +
            std::to_string(kUninstallerOffset) + " bytes before the uninstaller";
    return false;
  }
  if (uninstaller.empty()) {
    error = "the uninstaller is empty";
    return false;
  }
  if (uninstaller.size() > kUninstallerLength) {
    error = "the uninstaller is " + std::to_string(uninstaller.size()) + " bytes; it must fit its " +
            std::to_string(kUninstallerLength) + "-byte slot";
    return false;
  }
  std::vector<u8> head(kArchiveOffset, 0);
  std::memcpy(head.data(), stub.data(), stub.size());
  std::memcpy(head.data() + kUninstallerOffset, uninstaller.data(), uninstaller.size());
  out = std::move(head);
  return true;
}

}  // namespace zep::tool
