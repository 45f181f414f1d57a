#pragma once

#include "SysUtils.h"

// A step the person cancelled (a login dialog closed with Cancel): it stops
// what was under way like any error, and whoever shows errors shows none.
class EAbort : public Exception
{
public:
    using Exception::Exception;
};
