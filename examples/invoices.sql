-- Data of the example reports: customers with their invoices and invoice lines (invoice.form,
-- labels.form) and a handbook of chapters and paragraphs (handbook.form).
--
-- Everything here is fixed: no dates of today, no random numbers, so that the reports come out
-- the same on every run. Amounts are multiples of 0.25, exact in binary floating point, so that
-- sums print without rounding noise.

CREATE TABLE customers (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  street TEXT NOT NULL,
  town TEXT NOT NULL,
  postcode TEXT NOT NULL,
  country TEXT NOT NULL
);

CREATE TABLE invoices (
  id INTEGER PRIMARY KEY,
  number TEXT NOT NULL,
  customer INTEGER NOT NULL REFERENCES customers(id),
  issued TEXT NOT NULL,
  due TEXT NOT NULL
);

CREATE TABLE invoice_lines (
  id INTEGER PRIMARY KEY,
  invoice INTEGER NOT NULL REFERENCES invoices(id),
  item TEXT NOT NULL,
  quantity INTEGER NOT NULL,
  unit_price REAL NOT NULL
);

-- The first three customers have invoices; the others are only on the address labels.
INSERT INTO customers VALUES
  (1, 'Pekárna U Dvořáků s.r.o.', 'Náměstí Míru 12', 'Třeboň', '379 01', 'Česká republika'),
  (2, 'Smith, Jones & Partners Ltd', '14 Harbour Street', 'Bristol', 'BS1 4QA', 'United Kingdom'),
  (3, 'Žofie Šťastná', 'Údolní 7', 'Český Krumlov', '381 01', 'Česká republika'),
  (4, 'Café O''Brien', '3 Quay Lane', 'Galway', 'H91 X2Y4', 'Ireland'),
  (5, 'Jiří Řezníček', 'Křižíkova 148', 'Praha 8', '186 00', 'Česká republika'),
  (6, 'Northwind Bookbinders', '221 Mill Road', 'Cambridge', 'CB1 3NL', 'United Kingdom'),
  (7, 'Truhlářství Kůrka a syn', 'Lesní 5', 'Žďár nad Sázavou', '591 01', 'Česká republika'),
  (8, 'Eleanor Whitfield', '8 Rosemary Gardens', 'York', 'YO1 7HH', 'United Kingdom'),
  (9, 'Vinařství Ševčík', 'Sklepní 21', 'Mikulov', '692 01', 'Česká republika'),
  (10, 'Harbour Light Press', '57 Marine Parade', 'Brighton', 'BN2 1TL', 'United Kingdom'),
  (11, 'Ludmila Nováková', 'Husova 930/4', 'Brno', '602 00', 'Česká republika'),
  (12, 'Blackwood & Daughters', '2 Castle Wynd', 'Edinburgh', 'EH1 2NG', 'United Kingdom'),
  (13, 'Papírnictví Čtyřlístek', 'Palackého 77', 'Olomouc', '779 00', 'Česká republika'),
  (14, 'Owen Pritchard', 'Ty Gwyn, Heol y Plas', 'Aberystwyth', 'SY23 1HU', 'United Kingdom'),
  (15, 'Tiskárna Šedivý & spol.', 'Průmyslová 1024', 'Plzeň', '326 00', 'Česká republika'),
  (16, 'Margaret Ashdown', '19 Orchard Close', 'Canterbury', 'CT1 2QX', 'United Kingdom'),
  (17, 'Květinářství Růžička', 'Zahradní 3', 'Hradec Králové', '500 02', 'Česká republika'),
  (18, 'Thistle & Rose Tea Rooms', '41 High Street', 'Stirling', 'FK8 1EA', 'United Kingdom');

INSERT INTO invoices VALUES
  (1, '2026-0001', 1, '2026-01-15', '2026-01-29'),
  (2, '2026-0002', 2, '2026-01-20', '2026-02-19'),
  (3, '2026-0003', 1, '2026-02-03', '2026-02-17'),
  (4, '2026-0004', 3, '2026-02-11', '2026-02-25'),
  (5, '2026-0005', 2, '2026-03-02', '2026-04-01'),
  (6, '2026-0006', 2, '2026-03-27', '2026-04-26');

-- Totals: 0001 3815.00, 0003 1511.50 (Pekárna 5326.50); 0002 20738.50, 0005 9450.00,
-- 0006 22572.75 (Smith 52761.25); 0004 2774.50 (Šťastná). Grand total 60862.25 over 6 invoices.
INSERT INTO invoice_lines VALUES
  (1, 1, 'Mouka hladká 25 kg', 4, 412.50),
  (2, 1, 'Droždí čerstvé 1 kg', 10, 89.00),
  (3, 1, 'Cukr krupice 50 kg', 1, 1275.00),
  (4, 2, 'Consulting, report design (hours)', 12, 1500.00),
  (5, 2, 'Travel expenses', 1, 2340.50),
  (6, 2, 'Printer cable, 3 m "shielded"', 2, 199.00),
  (7, 3, 'Pečicí papír, role 50 m', 6, 145.25),
  (8, 3, 'Kvásek "Babiččin", 5 l', 2, 320.00),
  (9, 4, 'Ruční keramika – hrnek', 3, 385.00),
  (10, 4, 'Váza „Šumava"', 1, 1490.50),
  (11, 4, 'Balné a poštovné', 1, 129.00),
  (12, 5, 'Licence, viewer (per seat)', 5, 990.00),
  (13, 5, 'Support & maintenance, 1 year', 1, 4500.00),
  (14, 6, 'Training day "Reports in practice"', 2, 7800.00),
  (15, 6, 'Workbook', 8, 250.25),
  (16, 6, 'Coffee & pastries', 1, 1120.00),
  (17, 6, 'Room hire, half a day', 1, 3000.00),
  (18, 6, 'Projector hire', 1, 850.75);

-- The invoice list reads invoices with their customer and total in group order.
CREATE VIEW invoice_list AS
  SELECT i.id, i.number, i.issued, i.due, i.customer, c.name, c.street, c.town, c.postcode, c.country,
         (SELECT count(*) FROM invoice_lines l WHERE l.invoice = i.id) AS lines,
         (SELECT sum(l.quantity * l.unit_price) FROM invoice_lines l WHERE l.invoice = i.id) AS total
  FROM invoices i JOIN customers c ON c.id = i.customer;

-- The handbook: 40 chapters of 3 to 6 paragraphs each. A paragraph is put together from the
-- sentences below, chosen by a fixed rule from its chapter and paragraph number, and kept under
-- 250 bytes (report expressions carry texts of at most 255 bytes).
CREATE TABLE sentences (id INTEGER PRIMARY KEY, text TEXT NOT NULL);
INSERT INTO sentences (text) VALUES
  ('A report is a stack of bands, and each band prints as one strip across the page.'),
  ('The title band prints once, at the top of the first page, before any record is read.'),
  ('Page headers and page footers frame every page; the footer area is kept free from the start.'),
  ('A detail band prints once for each record of the data set that drives the report.'),
  ('Groups print a header whenever the value of their expression changes between two records.'),
  ('The group footer sees the last record of its group, so totals in it are complete.'),
  ('A sub-detail band walks the records of a second data set for every master record.'),
  ('Text that does not fit into its control is wrapped at spaces and hyphens, word by word.'),
  ('With stretching on, a band grows downwards until its text is out or the page is full.'),
  ('When the page is full, the remaining lines continue at the top of the next page.'),
  ('Columns let narrow bands fill the page twice, as on a sheet of address labels.'),
  ('Expressions sum, count and average the records that pass under their band.'),
  ('Zpráva se skládá z pásů; každý pás se tiskne jako jeden pruh přes celou šířku stránky.'),
  ('Záhlaví skupiny se vytiskne pokaždé, když se změní hodnota jejího výrazu.'),
  ('Dlouhý text se zalomí mezi slovy a pokračuje na další stránce, nic se neztratí.'),
  ('Součty v zápatí skupiny vidí všechny záznamy své skupiny, žádný navíc.'),
  ('Prepared pages are kept as pictures, one per sheet, and can be saved for later.'),
  ('A saved report opens again exactly as it was printed, page for page.'),
  ('Compression makes the stored pages smaller without changing a single pixel of them.'),
  ('Export filters write the text of the pages as plain text, comma-separated values or HTML.'),
  ('Margins are measured from the edge of the sheet in tenths of a millimetre.'),
  ('A band that is taller than the page still prints; it simply runs over the footer area.'),
  ('Fonts are found through the system''s font configuration, with stand-ins for missing faces.'),
  ('Every length in a report is stored in tenths of a millimetre and rounded only when drawn.'),
  ('Příliš dlouhé slovo, které se nevejde na řádek, se zkrátí na šířku ovládacího prvku.'),
  ('Čísla se formátují podle masky: oddělovač tisíců, desetinná čárka a počet míst.'),
  ('The summary band closes the report with totals over every record that was printed.'),
  ('Page numbers count the pages begun so far, so the footer always shows the current page.'),
  ('Labels, invoices and handbooks are all the same machine: bands, data and a little arithmetic.'),
  ('Read the chapters in any order; each one stands on its own and repeats what it needs.');

CREATE TABLE chapters (id INTEGER PRIMARY KEY, title TEXT NOT NULL);
CREATE TABLE paragraphs (
  id INTEGER PRIMARY KEY,
  chapter INTEGER NOT NULL REFERENCES chapters(id),
  number INTEGER NOT NULL,
  body TEXT NOT NULL
);

CREATE TABLE topics (id INTEGER PRIMARY KEY, name TEXT NOT NULL);
INSERT INTO topics (name) VALUES
  ('Bands and pages'), ('Pásy a stránky'), ('Groups and totals'), ('Skupiny a součty'),
  ('Sub-details'), ('Zalamování textu'), ('Columns and labels'), ('Expressions'),
  ('Ukládání a komprese'), ('Export');

INSERT INTO chapters (id, title)
  WITH RECURSIVE n(c) AS (SELECT 1 UNION ALL SELECT c + 1 FROM n WHERE c < 40)
  SELECT c, c || '. ' || (SELECT name FROM topics WHERE id = (c - 1) % 10 + 1)
            || CASE WHEN c > 10 THEN ' (' || ((c - 1) / 10 + 1) || ')' ELSE '' END
  FROM n;

-- Paragraph p of chapter c starts with sentence (7c + 3p) mod 30 and takes every eleventh sentence
-- after it while the text stays below 250 bytes.
INSERT INTO paragraphs (chapter, number, body)
  WITH RECURSIVE
    para(c, p) AS (
      SELECT id, 1 FROM chapters
      UNION ALL
      SELECT c, p + 1 FROM para WHERE p < 3 + (c * 5) % 4),
    build(c, p, k, body) AS (
      SELECT c, p, 1, (SELECT text FROM sentences WHERE id = (7 * c + 3 * p) % 30 + 1) FROM para
      UNION ALL
      SELECT b.c, b.p, b.k + 1, b.body || ' ' || s.text
      FROM build b JOIN sentences s ON s.id = (7 * b.c + 3 * b.p + 11 * b.k) % 30 + 1
      WHERE length(CAST(b.body || ' ' || s.text AS BLOB)) < 250)
  SELECT c, p, body FROM build b
  WHERE k = (SELECT max(k) FROM build x WHERE x.c = b.c AND x.p = b.p)
  ORDER BY c, p;

DROP TABLE topics;
