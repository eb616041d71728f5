// Lists the objects of a configuration listing.
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: list_objects FILE\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::cout << ss.str().size() << " bytes\n";
  return 0;
}
