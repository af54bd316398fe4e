#pragma once

#include "platform/Exceptions.h"

// A file that is not a usable decoder plug-in.
class ESPIInvalidSPI : public Exception {
public:
    using Exception::Exception;
};

// A plug-in lacks an entry point that its class or a call needs.
class ESPIInvalidAPI : public Exception {
public:
    using Exception::Exception;
};

// A plug-in library could not be loaded.
class ESPIFOpenErrorSPI : public Exception {
public:
    using Exception::Exception;
    QString Reason; // the loader's own words, when it gave any
};

// A second plug-in manager was made while one is active.
class ESPIDupCreateSPIs : public Exception {
public:
    using Exception::Exception;
};

// An index outside a list's items.
class EListError : public Exception {
public:
    using Exception::Exception;
};
