#pragma once

#include "designide/Sprigs.h"

// Structure-view nodes: sessions, databases and datasets along their
// connection chain.

class TOvSessionSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
};

class TOvDatabaseSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
};

class TOvDataSetSprig : public TDataSetSprig
{
    Q_OBJECT

public:
    using TDataSetSprig::TDataSetSprig;
};

class TOvTableSprig : public TOvDataSetSprig
{
    Q_OBJECT

public:
    using TOvDataSetSprig::TOvDataSetSprig;
};

class TOvQuerySprig : public TOvDataSetSprig
{
    Q_OBJECT

public:
    using TOvDataSetSprig::TOvDataSetSprig;
};

class TOvStoredProcSprig : public TOvDataSetSprig
{
    Q_OBJECT

public:
    using TOvDataSetSprig::TOvDataSetSprig;
};

class TOvUpdateSQLSprig : public TComponentSprig
{
    Q_OBJECT

public:
    using TComponentSprig::TComponentSprig;
};
