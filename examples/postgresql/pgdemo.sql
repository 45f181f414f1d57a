-- The PostgreSQL example: the demo's tables on a server. Run it once in the
-- database (and schema) the example connects to, e.g.
--   psql -h 127.0.0.1 -p 54329 -U postgres -d ovtest -f examples/postgresql/pgdemo.sql

create table customer (
  cust_no integer primary key,
  name text not null,
  city text,
  email text
);
create unique index customer_email on customer (email);

create table orders (
  cust_no integer not null references customer (cust_no),
  order_no integer not null,
  order_date date,
  amount numeric(10, 2),
  invoice_code text not null,
  primary key (cust_no, order_no)
);
create unique index orders_invoice_code on orders (invoice_code);

create view customer_totals as
  select c.cust_no, c.name, count(o.order_no) as order_count, coalesce(sum(o.amount), 0) as total
  from customer c left join orders o on o.cust_no = c.cust_no
  group by c.cust_no, c.name;

create procedure archive_orders(before date) language sql
  as 'delete from orders where order_date < before';

insert into customer (cust_no, name, city, email) values
  (1, 'Ada Lovelace', 'London', 'ada@example.org'),
  (2, 'Blaise Pascal', 'Clermont', 'blaise@example.org');
insert into orders (cust_no, order_no, order_date, amount, invoice_code) values
  (1, 1, '2026-01-05', 120.50, 'INV-0001'),
  (1, 2, '2026-02-11', 80.00, 'INV-0002'),
  (2, 1, '2026-03-01', 42.25, 'INV-0003');
