object MyDemoData: TDataModule
  object MyDemo: TOvDatabase
    DatabaseName = 'MyDemo'
    RemoteDatabase = '127.0.0.1:3307/ovdemo'
    ServerType = stMySQL
    Params.Strings = (
      'USER NAME=root')
    LoginPrompt = False
    Left = 40
    Top = 16
  end
  object qOrders: TOvQuery
    DatabaseName = 'MyDemo'
    UpdateObject = usOrders
    SQL.Strings = (
      'select cust_no, order_no, order_date, amount, `Ship To`, with_tax, invoice_code'
      'from orders')
    Left = 40
    Top = 72
  end
  object usOrders: TOvUpdateSQL
    Left = 128
    Top = 72
  end
  object spArchiveOrders: TOvStoredProc
    DatabaseName = 'MyDemo'
    StoredProcName = 'archive_orders'
    Left = 40
    Top = 128
  end
end
