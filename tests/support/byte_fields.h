// Little-endian fields of a file held in a string, for the tests' own writers and readers.
#pragma once

#include <cstdint>
#include <string>

namespace zep::test {

// Appends a u16 or a u32 to `bytes`.
void put_u16(std::string& bytes, std::uint16_t value);
void put_u32(std::string& bytes, std::uint32_t value);

// Writes or reads a little-endian u32 (or reads a u16) inside `bytes`.
void put_u32_at(std::string& bytes, std::size_t offset, std::uint32_t value);
std::uint32_t u32_at(const std::string& bytes, std::size_t offset);
std::uint16_t u16_at(const std::string& bytes, std::size_t offset);

}  // namespace zep::test
