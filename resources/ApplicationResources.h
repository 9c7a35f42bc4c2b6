#pragma once

struct ResourceTables;

// The program's strings, menu, accelerator, dialog template, icons and version record.
const ResourceTables& ApplicationResources();
