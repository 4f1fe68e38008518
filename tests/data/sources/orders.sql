CREATE TABLE orders (id INTEGER, customer TEXT, placed DATE, total REAL);
INSERT INTO orders VALUES (1, 'Núñez, Ana', '2024-05-01', 12.5);
INSERT INTO orders VALUES (2, 'Bob "the" Builder', '2024-05-02', 7);
INSERT INTO orders VALUES (3, 'Multi
Line', '2024-05-03', 100.25);
CREATE TABLE lines (order_id INTEGER, item TEXT, qty INTEGER);
INSERT INTO lines VALUES (1, 'apple', 3);
INSERT INTO lines VALUES (1, 'pear', 2);
INSERT INTO lines VALUES (2, 'nail', 100);
INSERT INTO lines VALUES (3, 'plum', 1);
