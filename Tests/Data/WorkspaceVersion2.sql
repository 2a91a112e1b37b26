-- A workspace written by data-model version 2: datasets have DatasetType and TemporalType but no
-- SpatialType yet.
CREATE TABLE "Workspaces" ("Uuid" UUID NOT NULL, "Name" TEXT NOT NULL, "Description" TEXT NULL,
                           "Version" INTEGER NOT NULL, "Inserted" DATETIME NOT NULL, "Updated" DATETIME NOT NULL,
                           PRIMARY KEY("Uuid"));
INSERT INTO Workspaces VALUES ('8f9e0d1c-2b3a-4efd-8c1b-cad9e8f7a6b5', 'Survey', 'field survey 2021', 2,
                               '2021-05-10T07:00:00.000Z', '2021-06-01T16:45:00.000Z');
CREATE TABLE "DataSources" ("Uuid" UUID NOT NULL, "Name" TEXT NOT NULL, "Description" TEXT NULL,
                            "Type" TEXT NOT NULL, "TypeIdentifier" UUID NULL, "EnableCache" BOOL NOT NULL,
                            "ReadOnly" BOOL NOT NULL, "Inserted" DATETIME NOT NULL, "Updated" DATETIME NOT NULL,
                            PRIMARY KEY("Uuid"));
INSERT INTO DataSources VALUES ('9a0f1e2d-3c4b-4f0e-9d2c-dbeaf9a8b7c6', 'Plots', NULL, 'File', NULL, 0, 0,
                                '2021-05-10T07:05:00.000Z', '2021-05-10T07:05:00.000Z');
CREATE TABLE "Datasets" ("Uuid" UUID NOT NULL, "DataSourceUuid" TEXT NOT NULL, "Name" TEXT NOT NULL,
                         "Label" TEXT NULL, "Group" TEXT NULL, "DatasetType" TEXT NOT NULL,
                         "TemporalType" TEXT NOT NULL, "Description" TEXT NULL, "InternalName" TEXT NOT NULL,
                         "ReadOnly" BOOL NOT NULL, "Inserted" DATETIME NOT NULL, "Updated" DATETIME NOT NULL,
                         PRIMARY KEY("Uuid"));
INSERT INTO Datasets VALUES ('ab1c2d3e-4f5a-4b6c-8d7e-9f0a1b2c3d4e', '9a0f1e2d-3c4b-4f0e-9d2c-dbeaf9a8b7c6',
                             'Plots', NULL, NULL, 'Spatial', 'None', NULL, 'plots', 0,
                             '2021-05-10T07:06:00.000Z', '2021-05-10T07:06:00.000Z');
INSERT INTO Datasets VALUES ('bc2d3e4f-5a6b-4c7d-9e8f-0a1b2c3d4e5f', '9a0f1e2d-3c4b-4f0e-9d2c-dbeaf9a8b7c6',
                             'Observations', NULL, NULL, 'Generic', 'Snapshot', NULL, 'observations', 0,
                             '2021-05-10T07:07:00.000Z', '2021-05-10T07:07:00.000Z');
CREATE TABLE "Properties" ("Uuid" UUID NOT NULL, "WorkspaceObjectUuid" UUID NOT NULL,
                           "PropertyGroup" TEXT NOT NULL, "PropertyName" TEXT NOT NULL,
                           "PropertyDescription" TEXT NULL, "PropertyValueType" INTEGER NOT NULL,
                           "PropertyInterfaceType" TEXT NOT NULL, "PropertyClassType" TEXT NOT NULL,
                           "PropertyValue" BLOB NULL, "IsRequired" BOOL NOT NULL, PRIMARY KEY("Uuid"));
CREATE TABLE "GenericObjects" ("Uuid" UUID NOT NULL, "ParentUuid" UUID NULL, "Name" TEXT NOT NULL,
                               "ObjectType" TEXT NOT NULL, "Description" TEXT NULL, "TypeIdentifier" UUID NULL,
                               "ReadOnly" BOOL NOT NULL, "Inserted" DATETIME NOT NULL, "Updated" DATETIME NOT NULL,
                               PRIMARY KEY("Uuid"));
