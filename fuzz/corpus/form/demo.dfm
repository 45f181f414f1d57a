object DemoData: TDataModule
  object Demo: TOvDatabase
    DatabaseName = 'Demo'
    RemoteDatabase = 'demo.db'
    ServerType = stSQLite
    LoginPrompt = False
    Left = 40
    Top = 16
  end
  object qOrders: TOvQuery
    DatabaseName = 'Demo'
    UpdateObject = usOrders
    SQL.Strings = (
      'select CustNo, OrderNo, OrderDate, Amount, InvoiceCode'
      'from Orders')
    Left = 40
    Top = 72
  end
  object usOrders: TOvUpdateSQL
    RefreshSQL.Strings = (
      'select CustNo, OrderNo, OrderDate, Amount, InvoiceCode'#13#10 +
      'from Orders'
      'where'
      '  CustNo = :OLD_CustNo and'
      '  OrderNo = :OLD_OrderNo')
    ModifySQL.Strings = (
      'update Orders'
      'set'
      '  CustNo = :CustNo,'
      '  OrderNo = :OrderNo,'
      '  OrderDate = :OrderDate,'
      '  Amount = :Amount,'
      '  InvoiceCode = :InvoiceCode'
      'where'
      '  CustNo = :OLD_CustNo and'
      '  OrderNo = :OLD_OrderNo')
    InsertSQL.Strings = (
      'insert into Orders'
      '  (CustNo, OrderNo, OrderDate, Amount, InvoiceCode)'
      'values'
      '  (:CustNo, :OrderNo, :OrderDate, :Amount, :InvoiceCode)')
    DeleteSQL.Strings = (
      'delete from Orders'
      'where'
      '  CustNo = :OLD_CustNo and'
      '  OrderNo = :OLD_OrderNo')
    Left = 128
    Top = 72
  end
  object qTotals: TOvQuery
    DatabaseName = 'Demo'
    SQL.Strings = (
      'select CustNo, Name as CustomerName, OrderCount, Total'
      'from CustomerTotals'
      'order by Total desc')
    Left = 216
    Top = 72
  end
  object tCustomer: TOvTable
    DatabaseName = 'Demo'
    TableName = 'Customer'
    Left = 40
    Top = 128
  end
  object dsCustomer: TDataSource
    DataSet = tCustomer
    Left = 128
    Top = 128
  end
  object tCustomerOrders: TOvTable
    DatabaseName = 'Demo'
    TableName = 'Orders'
    IndexFieldNames = 'CustNo'
    MasterFields = 'CustNo'
    MasterSource = dsCustomer
    Left = 216
    Top = 128
  end
  object spRecalcTotals: TOvStoredProc
    DatabaseName = 'Demo'
    StoredProcName = 'RecalcTotals'
    Left = 40
    Top = 184
  end
  object scrArchive: TOvScript
    DatabaseName = 'Demo'
    SQL.Strings = (
      'delete from Orders where OrderDate < ''2020-01-01'';'
      'delete from Customer where CustNo not in (select CustNo from Ord' +
      'ers);')
    Left = 128
    Top = 184
  end
  object Monitor: TOvMonitor
    Left = 216
    Top = 184
  end
end
