#pragma once
// A stream that passes everything on to another stream unchanged and keeps
// the lines it saw, so the window can show a load's messages as well.

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

class MessageTee : public std::ostream {
  public:
    explicit MessageTee(std::ostream& target) : std::ostream(&buf_), buf_(target) {}
    // Complete lines, then a last unfinished one if any.
    std::vector<std::string> lines() const {
        std::vector<std::string> all = buf_.lines;
        if (!buf_.partial.empty()) all.push_back(buf_.partial);
        return all;
    }

  private:
    struct Buf : std::streambuf {
        explicit Buf(std::ostream& t) : target(t) {}
        int_type overflow(int_type c) override {
            if (c == traits_type::eof()) return traits_type::not_eof(c);
            const char ch = traits_type::to_char_type(c);
            target.put(ch);
            if (ch == '\n') {
                lines.push_back(partial);
                partial.clear();
            } else {
                partial += ch;
            }
            return c;
        }
        std::streamsize xsputn(const char* s, std::streamsize n) override {
            for (std::streamsize i = 0; i < n; ++i) overflow(traits_type::to_int_type(s[i]));
            return n;
        }
        int sync() override {
            target.flush();
            return 0;
        }
        std::ostream& target;
        std::vector<std::string> lines;
        std::string partial;
    };
    Buf buf_;
};
