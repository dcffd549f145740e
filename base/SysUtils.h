#pragma once
// Small text and file helpers shared by every layer.
#include <cstdarg>
#include <string>

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string FormatV(const char* fmt, va_list args);
std::string Trim(const std::string& s);
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
bool SameText(const std::string& a, const std::string& b);
std::string IntToStr(long long value);
std::string BoolToStr(bool value); // "True" / "False"

// Everything up to and including the last '\' or ':' of a path.
std::string ExtractFilePath(const std::string& path);
std::string IncludeTrailingBackslash(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// Full path of the running executable (GetModuleFileNameA, any length).
std::string ApplicationExeName();
// `full`, or less where the environment variable `name` asks for a number
// above 0 and below it: a test shortens a real limit this way, never lengthens it.
unsigned ShortenedLimit(const char* name, unsigned full);

// Conversions between the ANSI code page, UTF-16 and UTF-8.
std::wstring AnsiToWide(const std::string& s);
std::string WideToAnsi(const std::wstring& s);
std::string AnsiToUtf8(const std::string& s);
std::string Utf8ToAnsi(const std::string& s);
