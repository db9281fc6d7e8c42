// The host's hash of a 32-bit key.
#pragma once

#include "HostApi.h"

template <class Key> class HashTemplateKeyClass;

template <> class HOST_API HashTemplateKeyClass<unsigned int>
{
public:
    // Depends on the key alone.
    static unsigned int Get_Hash_Value(const unsigned int& key);
};
