#include "zorv_library.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "dynamic_library.h"

namespace {

template <typename Fn>
Fn symbol(void* handle, const char* name) {
  std::string reason;
  void* address = zorv::platform::findEntry(handle, name, reason);
  if (address == nullptr) {
    std::fprintf(stderr, "cannot find %s in %s: %s\n", name, ZORV_LIBRARY_PATH, reason.c_str());
    std::abort();
  }
  return reinterpret_cast<Fn>(address);
}

Answer checkedCall(const std::function<int32_t(char*)>& call) {
  AnswerBuffer buffer;
  const int32_t code = call(buffer.data());
  EXPECT_TRUE(buffer.guardIntact()) << "the library wrote past byte 8192";
  EXPECT_TRUE(buffer.terminated()) << "the answer has no NUL within 8192 bytes";
  return {code, buffer.text()};
}

}  // namespace

ZorvLibrary& ZorvLibrary::instance() {
  static ZorvLibrary library;
  return library;
}

ZorvLibrary::ZorvLibrary() {
  const std::filesystem::path path = ZORV_LIBRARY_PATH;
  std::string reason;
  handle_ = zorv::platform::loadLibrary(path.parent_path(), path.filename().string(), reason);
  if (handle_ == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", ZORV_LIBRARY_PATH, reason.c_str());
    std::abort();
  }
  login = symbol<TextFn>(handle_, "ZORVlogin");
  close = symbol<VoidFn>(handle_, "ZORVclose");
  cursor = symbol<TextFn>(handle_, "ZORVcursor");
  fetch = symbol<BufFn>(handle_, "ZORVfetch");
  msgGet = symbol<BufFn>(handle_, "ZORVmsgget");
  exec = symbol<ExecFn>(handle_, "ZORVexec");
  status = symbol<VoidFn>(handle_, "ZORVstatus");
  fnames = symbol<BufFn>(handle_, "ZORVfnames");
}

Answer callExec(const std::string& statement) {
  return checkedCall([&](char* buf) { return ZorvLibrary::instance().exec(statement.c_str(), buf); });
}

Answer callFetch() {
  return checkedCall([](char* buf) { return ZorvLibrary::instance().fetch(buf); });
}

Answer callFnames() {
  return checkedCall([](char* buf) { return ZorvLibrary::instance().fnames(buf); });
}

std::string callMsgGet() {
  return checkedCall([](char* buf) { return ZorvLibrary::instance().msgGet(buf); }).text;
}

void PrintTo(const Answer& answer, std::ostream* out) {
  *out << "{" << answer.code << ", \"";
  for (const char c : answer.text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\t') *out << "\\t";
    else if (byte == '\r') *out << "\\r";
    else if (byte == '\n') *out << "\\n";
    else if (byte < 0x20 || byte >= 0x80 || byte == '\\') {
      static const char kHex[] = "0123456789ABCDEF";
      *out << "\\x" << kHex[byte >> 4] << kHex[byte & 15];
    } else *out << c;
  }
  *out << "\"}";
}
