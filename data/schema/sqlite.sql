-- The call history table for the embedded SQLite database (data.db).
-- Text sizes: numbers 64 (long international numbers with extensions), names
-- and contact keys 128, free texts and device names 255. CallDate is filled by
-- the database with the local insert time.
CREATE TABLE IF NOT EXISTS Calls (
    CallID INTEGER PRIMARY KEY,
    CallerID VARCHAR(64),
    CallerName VARCHAR(128),
    CallerGUID VARCHAR(128),
    CallerExtra VARCHAR(255),
    CalledID VARCHAR(64),
    CalledName VARCHAR(128),
    CalledGUID VARCHAR(128),
    CalledExtra VARCHAR(255),
    CalledDevice VARCHAR(255),
    Answered BOOLEAN NOT NULL DEFAULT 0,
    Incoming BOOLEAN NOT NULL DEFAULT 1,
    New BOOLEAN NOT NULL DEFAULT 1,
    CallDate DATETIME NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%f', 'now', 'localtime')),
    CallEnd DATETIME,
    CallDuration DATETIME
);
-- Newest first, and the calls since a date.
CREATE INDEX IF NOT EXISTS CallsByDate ON Calls (CallDate DESC);
