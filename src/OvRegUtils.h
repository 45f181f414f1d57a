#pragma once

class TOvDataSet;

// Small routines of the registration unit shared by editors and nodes.

// Whether the dataset's database exists in its session and is connected.
// Never connects and never raises for an unknown session.
bool IsDataSetDatabaseConnected(TOvDataSet *DataSet);
