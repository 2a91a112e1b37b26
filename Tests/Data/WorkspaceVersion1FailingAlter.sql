-- A version-1 workspace whose upgrade cannot finish: its Datasets table already has a column spelled
-- "temporaltype", which the upgrade does not recognise as TemporalType, and SQLite refuses to add
-- TemporalType beside it. Every table exists, so opening the file creates nothing.
CREATE TABLE "Workspaces" ("Uuid" UUID NOT NULL, "Name" TEXT NOT NULL, "Description" TEXT NULL,
                           "Version" INTEGER NOT NULL, "Inserted" DATETIME NOT NULL, "Updated" DATETIME NOT NULL,
                           PRIMARY KEY("Uuid"));
INSERT INTO Workspaces VALUES ('cd3e4f5a-6b7c-4d8e-af90-1b2c3d4e5f6a', 'Broken', '', 1,
                               '2019-07-01T09:00:00.000Z', '2019-07-01T09:00:00.000Z');
CREATE TABLE "DataSources" ("Uuid" UUID NOT NULL, "Name" TEXT NOT NULL, "Description" TEXT NULL,
                            "Type" TEXT NOT NULL, "Connection" TEXT NULL, "EnableCache" BOOL NOT NULL,
                            "ReadOnly" BOOL NOT NULL, "Inserted" DATETIME NOT NULL, "Updated" DATETIME NOT NULL,
                            PRIMARY KEY("Uuid"));
INSERT INTO DataSources VALUES ('de4f5a6b-7c8d-4e9f-b0a1-2c3d4e5f6a7b', 'Parcels', NULL, 'File',
                                '/data/cadastre/parcels.shp', 0, 0,
                                '2019-07-01T09:05:00.000Z', '2019-07-01T09:05:00.000Z');
CREATE TABLE "Datasets" ("Uuid" UUID NOT NULL, "DataSourceUuid" TEXT NOT NULL, "Name" TEXT NOT NULL,
                         "Label" TEXT NULL, "Group" TEXT NULL, "Type" TEXT NOT NULL, "temporaltype" TEXT NULL,
                         "Description" TEXT NULL, "InternalName" TEXT NOT NULL, "ReadOnly" BOOL NOT NULL,
                         "Inserted" DATETIME NOT NULL, "Updated" DATETIME NOT NULL, PRIMARY KEY("Uuid"));
INSERT INTO Datasets VALUES ('ef5a6b7c-8d9e-4fa0-81b2-3d4e5f6a7b8c', 'de4f5a6b-7c8d-4e9f-b0a1-2c3d4e5f6a7b',
                             'Parcels', NULL, NULL, 'Spatial', NULL, NULL, 'parcels', 0,
                             '2019-07-01T09:06:00.000Z', '2019-07-01T09:06:00.000Z');
CREATE TABLE "Properties" ("Uuid" UUID NOT NULL, "WorkspaceObjectUuid" UUID NOT NULL,
                           "PropertyGroup" TEXT NOT NULL, "PropertyName" TEXT NOT NULL,
                           "PropertyDescription" TEXT NULL, "PropertyValueType" INTEGER NOT NULL,
                           "PropertyInterfaceType" TEXT NOT NULL, "PropertyClassType" TEXT NOT NULL,
                           "PropertyValue" BLOB NULL, "IsRequired" BOOL NOT NULL, PRIMARY KEY("Uuid"));
CREATE TABLE "GenericObjects" ("Uuid" UUID NOT NULL, "ParentUuid" UUID NULL, "Name" TEXT NOT NULL,
                               "ObjectType" TEXT NOT NULL, "Description" TEXT NULL, "TypeIdentifier" UUID NULL,
                               "ReadOnly" BOOL NOT NULL, "Inserted" DATETIME NOT NULL, "Updated" DATETIME NOT NULL,
                               PRIMARY KEY("Uuid"));
CREATE TABLE "Styles" ("Uuid" UUID NOT NULL, "Style" TEXT NULL, PRIMARY KEY("Uuid"));
