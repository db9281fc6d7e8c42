// The host's reader of INI settings, as handed to plug-ins with the global-settings event.
#pragma once

#include "HostApi.h"

class StringClass;
struct HostIniData;

class HOST_API INIClass
{
public:
    INIClass();
    ~INIClass();

    INIClass(const INIClass&) = delete;
    INIClass& operator=(const INIClass&) = delete;

    // The entry's value as a number, or `default_value` when the entry is absent.
    int Get_Int(const char* section, const char* entry, int default_value) const;
    float Get_Float(const char* section, const char* entry, float default_value) const;

    // The number of entries in the section; 0 for an absent one.
    int Entry_Count(const char* section) const;

    // The name of the entry at a 0-based index in file order, or null past the end.
    const char* Get_Entry(const char* section, int index) const;

    // Copies the entry's value into `out`, or `default_value` (null: empty) when absent.
    // Returns the length copied.
    int Get_String(StringClass& out, const char* section, const char* entry,
                   const char* default_value) const;

    HostIniData* Data;
};
