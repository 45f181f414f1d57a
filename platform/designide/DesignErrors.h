#pragma once

#include "rtl/SysUtils.h"

// Errors of the design services. Each message names what failed and on what.
class EDesignError : public Exception
{
public:
    using Exception::Exception;
};

// A registration that cannot be recorded (a missing class or editor).
class ERegistrationError : public EDesignError
{
public:
    using EDesignError::EDesignError;
};

// A property that cannot be read or written, or a value it does not accept.
class EPropertyError : public EDesignError
{
public:
    using EDesignError::EDesignError;
};

// A package module that cannot be loaded, initialized, registered or unloaded.
class EPackageError : public EDesignError
{
public:
    using EDesignError::EDesignError;
};
