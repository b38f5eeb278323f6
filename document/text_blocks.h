// Serialised text in blocks, the one buffer both serialisers write into:
// each block is made at its full size and filled, so nothing written is
// ever moved, and writing is copying into memory at hand.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace tavrolin::xml {

class TextBlocks {
 public:
  TextBlocks() = default;
  TextBlocks(const TextBlocks&) = delete;
  TextBlocks& operator=(const TextBlocks&) = delete;

  // Room for `size` more bytes at Next().
  void Reserve(std::size_t size) {
    if (static_cast<std::size_t>(end_ - at_) < size) NewBlock(size);
  }
  // Where the next byte goes; who writes there moves it on.
  char*& Next() { return at_; }
  void Append(std::string_view text) {
    Reserve(text.size());
    std::memcpy(at_, text.data(), text.size());
    at_ += text.size();
  }
  void Put(char c) {
    Reserve(1);
    *at_++ = c;
  }
  // The bytes written so far: the place of the next one.
  std::size_t size() const {
    return before_ + static_cast<std::size_t>(at_ - start_);
  }
  bool empty() const { return size() == 0; }
  // Lets all memory go.
  void Clear() {
    blocks_ = std::vector<Block>();
    start_ = at_ = end_ = nullptr;
    before_ = next_size_ = 0;
  }
  // Calls `visit` with the text of each block, in order.
  template <typename Visit>
  void ForEach(Visit&& visit) const {
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
      const bool last = i + 1 == blocks_.size();
      visit(std::string_view(
          blocks_[i].data.get(),
          last ? static_cast<std::size_t>(at_ - start_) : blocks_[i].size));
    }
  }

 private:
  // Blocks start small, for small documents, and double up to the largest.
  static constexpr std::size_t kFirstSize = std::size_t{16} * 1024;
  static constexpr std::size_t kLargestSize = std::size_t{256} * 1024;

  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size = 0;
  };

  void NewBlock(std::size_t size) {
    if (start_ != nullptr) {
      blocks_.back().size = static_cast<std::size_t>(at_ - start_);
      before_ += blocks_.back().size;
    }
    next_size_ =
        start_ == nullptr ? kFirstSize : std::min(2 * next_size_, kLargestSize);
    const std::size_t block_size = std::max(size, next_size_);
    Block& block = blocks_.emplace_back();
    // Not zeroed: every byte is written before it is read.
    block.data = std::make_unique_for_overwrite<char[]>(block_size);
    start_ = at_ = block.data.get();
    end_ = start_ + block_size;
  }

  std::vector<Block> blocks_;
  char* start_ = nullptr;
  char* at_ = nullptr;
  char* end_ = nullptr;
  std::size_t before_ = 0;
  std::size_t next_size_ = 0;
};

}  // namespace tavrolin::xml
