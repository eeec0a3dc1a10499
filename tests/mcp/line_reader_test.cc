#include "mcp/line_reader.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

namespace corvanta {
namespace {

// Feeds `pieces` into a pipe one write at a time, as a host sending in bursts.
class PipeFeeder {
 public:
  explicit PipeFeeder(std::vector<std::string> pieces) {
    if (::pipe(fds_) != 0) throw std::runtime_error("pipe");
    writer_ = std::thread([this, pieces = std::move(pieces)] {
      for (const std::string& piece : pieces) {
        for (size_t done = 0; done < piece.size();) {
          ssize_t n = ::write(fds_[1], piece.data() + done, piece.size() - done);
          if (n <= 0) break;
          done += static_cast<size_t>(n);
        }
      }
      ::close(fds_[1]);
    });
  }
  ~PipeFeeder() {
    writer_.join();
    ::close(fds_[0]);
  }
  int readEnd() const { return fds_[0]; }

 private:
  int fds_[2];
  std::thread writer_;
};

std::vector<std::string> readAll(LineReader& reader) {
  std::vector<std::string> lines;
  while (std::optional<std::string> line = reader.next()) lines.push_back(*line);
  return lines;
}

TEST(LineReaderTest, LinesSplitAcrossWritesAreJoined) {
  PipeFeeder feeder({"{\"a\":", "1}\n{\"b\"", ":2}\n\n", "tail"});
  LineReader reader(feeder.readEnd());
  EXPECT_EQ(readAll(reader), (std::vector<std::string>{"{\"a\":1}", "{\"b\":2}", "", "tail"}));
  EXPECT_FALSE(reader.next());  // stays ended
}

TEST(LineReaderTest, LongLinesSurviveBufferRefills) {
  const std::string big(300000, 'x');
  PipeFeeder feeder({"short\n", big.substr(0, 100000), big.substr(100000) + "\nafter\n"});
  LineReader reader(feeder.readEnd());
  const std::vector<std::string> lines = readAll(reader);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "short");
  EXPECT_EQ(lines[1], big);
  EXPECT_EQ(lines[2], "after");
}

}  // namespace
}  // namespace corvanta
