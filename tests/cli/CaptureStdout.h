#pragma once
// Collects what the code under test writes to std::cout.
#include <iostream>
#include <sstream>
#include <string>

namespace clitest {

class CaptureStdout {
public:
    CaptureStdout() : saved_(std::cout.rdbuf(buffer_.rdbuf())) {}
    ~CaptureStdout() { std::cout.rdbuf(saved_); }
    CaptureStdout(const CaptureStdout&) = delete;
    CaptureStdout& operator=(const CaptureStdout&) = delete;

    std::string text() const { return buffer_.str(); }

private:
    std::ostringstream buffer_;
    std::streambuf* saved_;
};

} // namespace clitest
