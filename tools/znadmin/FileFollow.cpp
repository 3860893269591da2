#include "FileFollow.h"

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>

namespace zn::admin {

void FollowFile(const std::string& path, off_t offset, ino_t inode) {
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) continue;  // between the rename and the new file
    if (info.st_ino != inode || info.st_size < offset) {
      inode = info.st_ino;
      offset = 0;
    }
    if (info.st_size == offset) continue;
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    std::string chunk(static_cast<std::size_t>(info.st_size - offset), '\0');
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    chunk.resize(static_cast<std::size_t>(in.gcount()));
    std::cout << chunk << std::flush;
    offset += static_cast<off_t>(chunk.size());
  }
}

}  // namespace zn::admin
