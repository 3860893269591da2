// Turns the log catalogue's data file into the compiled table. Build-time
// tool: reads the data file, computes each row's id from its name, refuses
// duplicate names and ids and values out of range, and writes the table.

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "CatalogueText.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: GenerateLogCatalogue <catalogue.txt> <output.inc>\n";
    return 2;
  }
  std::ifstream input(argv[1]);
  if (!input) {
    std::cerr << argv[1] << ": cannot open\n";
    return 1;
  }
  std::stringstream data;
  data << input.rdbuf();
  std::vector<zn::catalogue::Row> rows;
  std::vector<std::string> errors;
  if (!zn::catalogue::ParseCatalogue(data.str(), rows, errors)) {
    for (const std::string& error : errors) std::cerr << argv[1] << ":" << error << "\n";
    return 1;
  }
  const std::string table = zn::catalogue::TableText(rows);
  // Write only when the text changed, so an unchanged catalogue rebuilds nothing.
  std::ifstream previous(argv[2]);
  std::stringstream old;
  old << previous.rdbuf();
  if (previous && old.str() == table) return 0;
  std::ofstream output(argv[2], std::ios::trunc);
  output << table;
  return output ? 0 : 1;
}
