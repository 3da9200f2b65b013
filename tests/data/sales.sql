-- Fixture for the grouped and sub-detail reports: customers in regions, their orders and order items.
CREATE TABLE customers (id INTEGER PRIMARY KEY, name TEXT, region TEXT);
CREATE TABLE orders (id INTEGER PRIMARY KEY, customer INTEGER, amount REAL);
CREATE TABLE items (id INTEGER PRIMARY KEY, orderid INTEGER, product TEXT);
INSERT INTO customers VALUES (1, 'Novák', 'East'), (2, 'Dvořák', 'East'), (3, 'Svoboda', 'West');
INSERT INTO orders VALUES (10, 1, 100.5), (11, 1, 20), (12, 3, 7.25);
INSERT INTO items VALUES (100, 10, 'pen'), (101, 10, 'ink'), (102, 11, 'paper'), (103, 12, 'clip');
