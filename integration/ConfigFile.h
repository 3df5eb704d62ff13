// Reading the configuration file "QVConfig.dat" into the configuration record.
#pragma once

// Reads the first row of the table file at path, cell by cell in the record's
// layout, into a copy of the current record of g_productSettings. When the
// whole row reads, its product key location (cell 4) goes to
// SetProductKeyLocation, also when only validating; with validateOnly false
// the row then replaces the stored record.
//
// False when the path is missing or a folder, the table does not open, or a
// cell is missing or cannot be read with its kind (a number of another kind,
// a text where a number belongs or the reverse), or when the row names what
// is not the product's: a product code or service name that is not a plain
// name (IsPlainConfigName), a product key location outside the vendor key
// (IsUnderVendorKey), or the name of an existing service whose program is not
// in the install folder. The stored record is then unchanged and so is the
// product key location.
bool LoadConfigFile(const char* path, bool validateOnly);
