#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace zp {

// Each test its own store: a file in a folder of its own, or (where the store is the
// system's registry) the same text as a key path of its own.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zp-reg-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    path_ = (dir_ / "sub" / "registry.db").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static std::vector<Registry::Value> Strings(std::initializer_list<const char*> data) {
    std::vector<Registry::Value> v;
    int i = 0;
    for (const char* d : data) v.push_back({std::to_string(i++), Registry::ValueType::String, d});
    return v;
  }
  static std::vector<std::string> Data(const std::vector<Registry::Value>& values) {
    std::vector<std::string> out;
    for (const auto& v : values) out.push_back(v.name + "=" + v.data);
    return out;
  }

  std::filesystem::path dir_;
  std::string path_;
};

}  // namespace zp
