#pragma once
// The field mapping: for each PDF field name of a template, the data column it is filled from.
// Several fields may share a column. Where a merge has no mapping, each field reads the column
// of its own name.

#include <map>
#include <string>

using QVFieldMapping = std::map<std::string, std::string>;
