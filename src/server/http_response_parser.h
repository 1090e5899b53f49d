#pragma once
// Reads an HTTP/1.x response from the bytes of a connection, fed in pieces as
// they arrive. Pure code without sockets; every malformed or oversized input
// ends in an exception, never in unbounded memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace http {

struct HeaderField {
  std::string name;
  std::string value;  // surrounding blanks removed
};

struct ResponseHead {
  std::string statusLine;  // as received, without its line end
  int minorVersion = 1;    // HTTP/1.x
  int statusCode = 0;
  std::vector<HeaderField> fields;

  // The first field of that name (letter case does not matter), or nullptr.
  const std::string* Find(std::string_view name) const;
  // Every field of that name, in the order received.
  std::vector<std::string_view> FindAll(std::string_view name) const;
};

struct ParserLimits {
  size_t maxLine = 8 * 1024;     // status line, header line, chunk-size line, trailer line
  size_t maxHeader = 64 * 1024;  // the whole header (interim 1xx answers included); also the trailer
};

// Where the bytes of the body go.
class BodySink {
 public:
  virtual void OnBody(const char* data, size_t size) = 0;

 protected:
  ~BodySink() = default;
};

enum class BodyFraming { kNone, kContentLength, kChunked, kUntilClose };

class ResponseParser {
 public:
  enum class Phase { kHead, kBody, kComplete };

  explicit ResponseParser(ParserLimits limits = {});

  // Consumes bytes and returns how many it took. It stops right after the
  // final head, so that the caller can look at Head() and choose where the
  // body goes, and at the end of the response; bytes after that are not taken.
  // Body bytes go to sink (dropped when sink is nullptr). Interim 1xx answers
  // are skipped. Raises EIdException for malformed or oversized input.
  size_t Feed(const char* data, size_t size, BodySink* sink);

  // The update host closed the connection: ends a body delimited by the
  // close, raises EIdConnClosedGracefully when the response is incomplete.
  void FeedEnd();

  Phase phase() const { return phase_; }
  bool ReceivedAnything() const { return receivedAnything_; }
  // Valid from the body phase on.
  const ResponseHead& Head() const { return head_; }
  BodyFraming Framing() const { return framing_; }
  // Whether the response lets the connection stay open for the next request.
  bool KeepAlive() const { return keepAlive_; }

 private:
  enum class ChunkState { kSize, kData, kDataEnd, kDataEndLf, kTrailer };

  size_t FeedHead(const char* data, size_t size);
  void CheckStatusLineStart(const char* data, size_t size) const;
  size_t FeedChunked(const char* data, size_t size, BodySink* sink);
  // Takes bytes up to and including a line feed into line_; true when the
  // line is complete (without its line end then).
  bool TakeLine(const char* data, size_t size, size_t& used, size_t& budget);
  void HeadLine(std::string& line);
  void StatusLine(const std::string& line);
  void HeaderLine(const std::string& line);
  void EndOfHead();
  void ChunkSizeLine(const std::string& line);

  ParserLimits limits_;
  Phase phase_ = Phase::kHead;
  bool receivedAnything_ = false;
  bool haveStatusLine_ = false;
  std::string line_;
  size_t headBudget_;
  ResponseHead head_;
  BodyFraming framing_ = BodyFraming::kNone;
  bool keepAlive_ = false;
  uint64_t remaining_ = 0;  // bytes left of the body or of the current chunk
  ChunkState chunk_ = ChunkState::kSize;
  size_t trailerBudget_ = 0;
};

}  // namespace http
