#pragma once

#include "designide/FormFile.h"

#include <memory>

// A data module of Count components in the proportions of a large real one:
// per 1,000 components 10 sessions, 100 databases (a tenth of them in the
// default session), 850 datasets (tables, queries and stored procedures in
// turn; one in ten names a database no component provides) and 40 update
// objects. They are created in a shuffled (repeatable) order, so that
// nothing measured can lean on the order of creation.
std::unique_ptr<TDataModule> makeDataModule(int Count);

// A dataset and a database from the middle of a module made by
// makeDataModule, for selecting in turn so every selection is a change.
QList<QObject *> pickDataSetAndDatabase(QObject *Root);

// Registers the package's components, editors and nodes, once per process.
void registerPackage();

// A module of makeDataModule and its components, as a tree is given them,
// with the package registered.
struct ModuleFixture
{
    explicit ModuleFixture(int Count)
        : root((registerPackage(), makeDataModule(Count)))
        , components(root->children())
    {}
    std::unique_ptr<TDataModule> root;
    QList<QObject *> components;
};

// Builds the node tree of the kept module of Count components
// (keptFixture<ModuleFixture>) from cold caches, and returns the seconds the
// build took; for timeInTurns.
double buildTreeOnce(int Count);
