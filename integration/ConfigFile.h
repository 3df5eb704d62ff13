// Reading the configuration file "QVConfig.dat" into the configuration record.
#pragma once

// Reads the first row of the table file at path, cell by cell in the record's
// layout, into a copy of the current record of g_productSettings. The product
// key location (cell 4) goes to SetProductKeyLocation as soon as it is read,
// also when only validating. With validateOnly false a complete row replaces
// the stored record.
//
// False when the path is missing or a folder, the table does not open, or a
// cell is missing or cannot be read with its kind (a number of another kind,
// a text where a number belongs or the reverse); the stored record is then
// unchanged.
bool LoadConfigFile(const char* path, bool validateOnly);
