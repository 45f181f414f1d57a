-- The MariaDB (and MySQL) example: the demo's tables on a server. Run it once
-- in the database the example connects to, e.g.
--   mariadb -h 127.0.0.1 -P 3307 -u root ovdemo < examples/mariadb/mydemo.sql

create table customer (
  cust_no int primary key,
  name varchar(80) not null,
  city varchar(40),
  email varchar(120),
  unique key customer_email (email)
) character set utf8mb4;

create table orders (
  cust_no int not null,
  order_no int not null,
  order_date date,
  amount decimal(10, 2),
  `Ship To` varchar(80),
  with_tax decimal(12, 2) as (amount * 1.2) stored,
  invoice_code varchar(20) not null,
  primary key (cust_no, order_no),
  unique key orders_invoice_code (invoice_code),
  foreign key (cust_no) references customer (cust_no)
) character set utf8mb4;

create view customer_totals as
  select c.cust_no, c.name, count(o.order_no) as order_count, coalesce(sum(o.amount), 0) as total
  from customer c left join orders o on o.cust_no = c.cust_no
  group by c.cust_no, c.name;

create procedure archive_orders(in cutoff date)
  delete from orders where order_date < cutoff;

insert into customer (cust_no, name, city, email) values
  (1, 'Ada Lovelace', 'London', 'ada@example.org'),
  (2, 'Blaise Pascal', 'Clermont', 'blaise@example.org');
insert into orders (cust_no, order_no, order_date, amount, `Ship To`, invoice_code) values
  (1, 1, '2026-01-05', 120.50, 'London', 'INV-0001'),
  (1, 2, '2026-02-11', 80.00, 'Paris', 'INV-0002'),
  (2, 1, '2026-03-01', 42.25, 'Clermont', 'INV-0003');
