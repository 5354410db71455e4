-- The call history table for a shared PostgreSQL database. Run once by the
-- database's administrator (psql -f postgresql.sql); Phonavo never creates or
-- alters Calls in a database it is pointed at. Sizes as in sqlite.sql.
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
    Answered BOOLEAN NOT NULL DEFAULT FALSE,
    Incoming BOOLEAN NOT NULL DEFAULT TRUE,
    New BOOLEAN NOT NULL DEFAULT TRUE,
    CallDate TIMESTAMP(3) NOT NULL DEFAULT LOCALTIMESTAMP(3),
    CallEnd TIMESTAMP(3),
    CallDuration TIMESTAMP(0)
);
CREATE INDEX IF NOT EXISTS CallsByDate ON Calls (CallDate DESC);
