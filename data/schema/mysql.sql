-- The call history table for a shared MySQL/MariaDB database. Run once by the
-- database's administrator; Phonavo never creates or alters Calls itself.
CREATE TABLE IF NOT EXISTS Calls (
    CallID INT PRIMARY KEY,
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
    CallDate DATETIME(3) NOT NULL DEFAULT CURRENT_TIMESTAMP(3),
    CallEnd DATETIME(3) NULL,
    CallDuration DATETIME NULL,
    INDEX CallsByDate (CallDate DESC)
) CHARACTER SET utf8mb4;
