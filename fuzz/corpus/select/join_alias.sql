select c.ID, c.NAME as CNAME, o.TOTAL
from CUSTOMER c
  join ORDERS o on o.CUST_ID = c.ID
where c.NAME like 'A%' -- comment
