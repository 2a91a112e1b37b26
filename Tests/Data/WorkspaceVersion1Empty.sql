-- A version-1 workspace that holds nothing but its record: every object table has the old columns.
CREATE TABLE "Workspaces" ("Uuid" UUID NOT NULL, "Name" TEXT NOT NULL, "Description" TEXT NULL,
                           "Version" INTEGER NOT NULL, "Inserted" DATETIME NOT NULL, "Updated" DATETIME NOT NULL,
                           PRIMARY KEY("Uuid"));
INSERT INTO Workspaces VALUES ('7e8d9c0b-1a2f-4dec-bb0a-b9c8d7e6f5a4', 'Empty', '', 1,
                               '2018-11-20T08:00:00.000Z', '2018-11-20T08:00:00.000Z');
CREATE TABLE "DataSources" ("Uuid" UUID NOT NULL, "Name" TEXT NOT NULL, "Description" TEXT NULL,
                            "Type" TEXT NOT NULL, "Connection" TEXT NULL, "EnableCache" BOOL NOT NULL,
                            "ReadOnly" BOOL NOT NULL, "Inserted" DATETIME NOT NULL, "Updated" DATETIME NOT NULL,
                            PRIMARY KEY("Uuid"));
CREATE TABLE "Datasets" ("Uuid" UUID NOT NULL, "DataSourceUuid" TEXT NOT NULL, "Name" TEXT NOT NULL,
                         "Label" TEXT NULL, "Group" TEXT NULL, "Type" TEXT NOT NULL, "Description" TEXT NULL,
                         "InternalName" TEXT NOT NULL, "ReadOnly" BOOL NOT NULL, "Inserted" DATETIME NOT NULL,
                         "Updated" DATETIME NOT NULL, PRIMARY KEY("Uuid"));
CREATE TABLE "Properties" ("Uuid" UUID NOT NULL, "WorkspaceObjectUuid" UUID NOT NULL, "PropertyName" TEXT NOT NULL,
                           "PropertyValueType" INTEGER NOT NULL, "PropertyValue" BLOB NULL, PRIMARY KEY("Uuid"));
CREATE TABLE "GenericObjects" ("Uuid" UUID NOT NULL, "ParentUuid" UUID NULL, "Name" TEXT NOT NULL,
                               "ObjectType" TEXT NOT NULL, "ReadOnly" BOOL NOT NULL, "Inserted" DATETIME NOT NULL,
                               "Updated" DATETIME NOT NULL, PRIMARY KEY("Uuid"));
CREATE TABLE "RasterFeatureEquations" ("Uuid" UUID NOT NULL, "Equation" TEXT NULL, PRIMARY KEY("Uuid"));
