-- A workspace written by data-model version 1: data sources keep their file in a Connection column,
-- datasets name their kind Type, and four tables exist that version 2 removed.
CREATE TABLE "Workspaces" (
	"Uuid" UUID NOT NULL,
	"Name" TEXT NOT NULL,
	"Description" TEXT NULL,
	"Version" INTEGER NOT NULL,
	"Inserted" DATETIME NOT NULL,
	"Updated" DATETIME NOT NULL,
	PRIMARY KEY("Uuid")
);
INSERT INTO Workspaces VALUES ('5b0e7c1a-3f2d-4c6b-9a8e-1d2c3b4a5f60', 'Legacy', '', 1,
                               '2019-03-01T10:00:00.000Z', '2019-03-02T11:30:00.000Z');

CREATE TABLE "DataSources" (
	"Uuid" UUID NOT NULL,
	"Name" TEXT NOT NULL,
	"Description" TEXT NULL,
	"Type" TEXT NOT NULL,
	"Connection" TEXT NULL,
	"EnableCache" BOOL NOT NULL,
	"ReadOnly" BOOL NOT NULL,
	"Inserted" DATETIME NOT NULL,
	"Updated" DATETIME NOT NULL,
	PRIMARY KEY("Uuid")
);
INSERT INTO DataSources VALUES ('0d1c2b3a-4958-4675-8493-a2b1c0d9e8f7', 'Rivers', NULL, 'File',
                                '/data/hydrology/rivers.shp', 0, 0,
                                '2019-03-01T10:05:00.000Z', '2019-03-01T10:05:00.000Z');
INSERT INTO DataSources VALUES ('1e2d3c4b-5a69-4786-95a4-b3c2d1e0f9a8', 'Roads', 'national network', 'File',
                                '/data/transport/roads.gpkg', 1, 1,
                                '2019-03-01T10:06:00.000Z', '2019-03-01T10:06:00.000Z');

CREATE TABLE "Datasets" (
	"Uuid" UUID NOT NULL,
	"DataSourceUuid" TEXT NOT NULL,
	"Name" TEXT NOT NULL,
	"Label" TEXT NULL,
	"Group" TEXT NULL,
	"Type" TEXT NOT NULL,
	"Description" TEXT NULL,
	"InternalName" TEXT NOT NULL,
	"ReadOnly" BOOL NOT NULL,
	"Inserted" DATETIME NOT NULL,
	"Updated" DATETIME NOT NULL,
	PRIMARY KEY("Uuid")
);
INSERT INTO Datasets VALUES ('2f3e4d5c-6b7a-4897-a6b5-c4d3e2f1a0b9', '0d1c2b3a-4958-4675-8493-a2b1c0d9e8f7',
                             'Rivers', 'Rivers of the basin', 'Hydrology', 'Spatial', NULL, 'rivers', 0,
                             '2019-03-01T10:07:00.000Z', '2019-03-01T10:07:00.000Z');
INSERT INTO Datasets VALUES ('3a4f5e6d-7c8b-49a8-b7c6-d5e4f3a2b1c0', '1e2d3c4b-5a69-4786-95a4-b3c2d1e0f9a8',
                             'Traffic counts', NULL, NULL, 'Generic', NULL, 'counts', 1,
                             '2019-03-01T10:08:00.000Z', '2019-03-01T10:08:00.000Z');

CREATE TABLE "Properties" (
	"Uuid" UUID NOT NULL,
	"WorkspaceObjectUuid" UUID NOT NULL,
	"PropertyGroup" TEXT NOT NULL,
	"PropertyName" TEXT NOT NULL,
	"PropertyDescription" TEXT NULL,
	"PropertyValueType" INTEGER NOT NULL,
	"PropertyInterfaceType" TEXT NOT NULL,
	"PropertyClassType" TEXT NOT NULL,
	"PropertyValue" BLOB NULL,
	"IsRequired" BOOL NOT NULL,
	PRIMARY KEY("Uuid")
);
-- A property the Roads source already had; it must survive the move of Connection into FilePath.
INSERT INTO Properties VALUES ('4b5a6f7e-8d9c-4ab9-88d7-e6f5a4b3c2d1', '1e2d3c4b-5a69-4786-95a4-b3c2d1e0f9a8',
                               'Display', 'Colour', NULL, 19, 'IString', 'String', CAST('#336699' AS BLOB), 0);

CREATE TABLE "GenericObjects" (
	"Uuid" UUID NOT NULL,
	"ParentUuid" UUID NULL,
	"Name" TEXT NOT NULL,
	"ObjectType" TEXT NOT NULL,
	"Description" TEXT NULL,
	"TypeIdentifier" UUID NULL,
	"ReadOnly" BOOL NOT NULL,
	"Inserted" DATETIME NOT NULL,
	"Updated" DATETIME NOT NULL,
	PRIMARY KEY("Uuid")
);
INSERT INTO GenericObjects VALUES ('5c6b7a8f-9e0d-4bca-99e8-f7a6b5c4d3e2', NULL, 'Maps', 'Folder', NULL, NULL, 0,
                                   '2019-03-01T10:09:00.000Z', '2019-03-01T10:09:00.000Z');

CREATE TABLE "AttributeSchemas" ("Uuid" UUID NOT NULL, "Definition" TEXT NULL, PRIMARY KEY("Uuid"));
INSERT INTO AttributeSchemas VALUES ('6d7c8b9a-0f1e-4cdb-aaf9-a8b7c6d5e4f3', '{}');
CREATE TABLE "Styles" ("Uuid" UUID NOT NULL, "Style" TEXT NULL, PRIMARY KEY("Uuid"));
CREATE TABLE "ValidationRules" ("Uuid" UUID NOT NULL, "Rule" TEXT NULL, PRIMARY KEY("Uuid"));
