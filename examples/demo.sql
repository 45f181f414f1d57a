-- The embedded demo database: ovdesigner creates demo.db from this script
-- when the file is missing (demo.db is never committed).

create table Customer (
  CustNo integer primary key,
  Name text not null,
  City text,
  Email text
);
-- A unique index beside the primary key.
create unique index Customer_Email on Customer (Email);

-- Orders have a composite key and a unique invoice code of their own.
create table Orders (
  CustNo integer not null references Customer (CustNo),
  OrderNo integer not null,
  OrderDate text,
  Amount real,
  InvoiceCode text not null,
  primary key (CustNo, OrderNo)
);
create unique index Orders_InvoiceCode on Orders (InvoiceCode);

create view CustomerTotals as
  select c.CustNo, c.Name, count(o.OrderNo) as OrderCount, coalesce(sum(o.Amount), 0) as Total
  from Customer c left join Orders o on o.CustNo = c.CustNo
  group by c.CustNo, c.Name;

insert into Customer (CustNo, Name, City, Email) values (1, 'Ada Lovelace', 'London', 'ada@example.org');
insert into Customer (CustNo, Name, City, Email) values (2, 'Blaise Pascal', 'Clermont', 'blaise@example.org');
insert into Customer (CustNo, Name, City, Email) values (3, 'Grace Hopper', 'Arlington', 'grace@example.org');

insert into Orders (CustNo, OrderNo, OrderDate, Amount, InvoiceCode) values (1, 1, '2026-01-05', 120.5, 'INV-0001');
insert into Orders (CustNo, OrderNo, OrderDate, Amount, InvoiceCode) values (1, 2, '2026-02-11', 80, 'INV-0002');
insert into Orders (CustNo, OrderNo, OrderDate, Amount, InvoiceCode) values (2, 1, '2026-03-01', 42.25, 'INV-0003');
