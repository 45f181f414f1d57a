object OrdersModule: TOrdersModule
  OldCreateOrder = False
  OnCreate = DataModuleCreate
  OnDestroy = DataModuleDestroy
  Height = 318
  Width = 471
  PixelsPerInch = 96
  object Demo: TOvDatabase
    DatabaseName = 'Demo'
    RemoteDatabase = 'demo.db'
    ServerType = stSQLite
    LoginPrompt = False
    AfterConnect = DemoAfterConnect
    Left = 40
    Top = 16
  end
  object ImageList1: TImageList
    Left = 312
    Top = 16
    Bitmap = {
      494C010102000400040010001000FFFFFFFFFF10FFFFFFFFFFFFFFFF424D3600
      0000000000003600000028000000400000001000000001002000000000000010
      00000000000000000000000000000000000000000000000000000000000000FF
      FF00000000000000000000000000000000000000000000000000000000000000}
  end
  object ActionList1: TActionList
    Images = ImageList1
    Left = 312
    Top = 72
    object actRefresh: TAction
      Caption = 'Aktualisieren'
      ImageIndex = 0
      ShortCut = 116
      OnExecute = actRefreshExecute
    end
    object actExport: TAction
      Caption = 'Exportieren '#8230
      OnExecute = actExportExecute
    end
  end
  object qOrders: TOvQuery
    DatabaseName = 'Demo'
    UpdateObject = usOrders
    SQL.Strings = (
      'select CustNo, OrderNo, OrderDate, Amount, InvoiceCode'
      'from Orders')
    OnCalcFields = qOrdersCalcFields
    Left = 40
    Top = 72
    object qOrdersAmount: TFloatField
      FieldName = 'Amount'
      DisplayFormat = '#,##0.00 €'
    end
  end
  object usOrders: TOvUpdateSQL
    ModifySQL.Strings = (
      'update Orders set Amount = :Amount where OrderNo = :OLD_OrderNo')
    Left = 128
    Top = 72
  end
  object dsOrders: TDataSource
    DataSet = qOrders
    OnDataChange = dsOrdersDataChange
    Left = 216
    Top = 72
  end
  object KestrelConnection1: TKestrelConnection
    ProviderName = 'PostgreSQL'
    Port = 5432
    Database = 'shop'
    Username = 'app'
    Server = 'db.example.org'
    LoginPrompt = False
    Left = 312
    Top = 128
  end
  object kqCustomers: TKestrelQuery
    Connection = KestrelConnection1
    SQL.Strings = (
      'select * from customers where city = :city')
    Left = 312
    Top = 184
    ParamData = <
      item
        DataType = ftString
        Name = 'city'
        ParamType = ptInput
        Value = 'Köln'
      end>
  end
  object dsCustomers: TDataSource
    DataSet = kqCustomers
    Left = 216
    Top = 184
  end
  object dsCountries: TDataSource
    DataSet = SharedData.qCountries
    Left = 216
    Top = 240
  end
  object qLabels: TOvQuery
    DatabaseName = 'Demo'
    SQL.Strings = (
      'select Name, ''Caf�'' as Shop from Customer'
      'where Name <> :Name and Size <> :Size')
    Params = <
      item
        DataType = ftString
        Name = 'Name'
        ParamType = ptInput
        Value = 'Größe €'
      end
      item
        DataType = ftFloat
        Name = 'Size'
        ParamType = ptInput
        Value = -0.0
      end>
    Left = 40
    Top = 240
  end
end
