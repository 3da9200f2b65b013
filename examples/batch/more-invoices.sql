-- More invoices for batch runs, after invoices.sql: the invoices table grows to as many invoices as
-- the one row of table batch_size says (made by whoever runs this script), numbered 2027-000007 on,
-- for the 18 customers in turn, each with three lines. Fixed data, like the rest of the examples.
--
--   (cat examples/invoices.sql
--    echo "CREATE TABLE batch_size AS SELECT 2000 AS invoices;"
--    cat examples/batch/more-invoices.sql) | sqlite3 batch.db

WITH RECURSIVE n(i) AS (
  SELECT (SELECT count(*) FROM invoices) + 1
  UNION ALL
  SELECT i + 1 FROM n WHERE i < (SELECT invoices FROM batch_size))
INSERT INTO invoices (id, number, customer, issued, due)
  SELECT i, printf('2027-%06d', i), 1 + (i - 1) % 18,
         printf('2027-%02d-%02d', 1 + i % 12, 1 + i % 28), printf('2027-%02d-%02d', 1 + (i + 1) % 12, 1 + i % 28)
  FROM n;

INSERT INTO invoice_lines (invoice, item, quantity, unit_price)
  SELECT i.id, t.item, 1 + (i.id * t.k) % 9, 12.25 * (1 + (i.id + 7 * t.k) % 60)
  FROM invoices i,
       (SELECT 1 AS k, 'Papír A4, 500 listů / Paper A4, 500 sheets' AS item
        UNION ALL SELECT 2, 'Toner, černý / Toner, black'
        UNION ALL SELECT 3, 'Servis tiskárny / Printer service (hours)') t
  WHERE i.number LIKE '2027-%'
  ORDER BY i.id, t.k;
