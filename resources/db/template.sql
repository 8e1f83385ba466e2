-- The template of every new database file ("*.zelkor"). The build turns this script into
-- the binary template the program carries; the file is the source of truth for the schema.

-- One row per subscriber: the panel's subscriber slot 0 to 24999.
CREATE TABLE subscriber (
    id integer NOT NULL PRIMARY KEY,
    apartment varchar(8) DEFAULT NULL,
    phone varchar(12) NOT NULL DEFAULT '',
    field1 varchar(255) DEFAULT '',
    field2 varchar(255) DEFAULT '',
    field3 varchar(255) DEFAULT '',
    field4 varchar(255) DEFAULT '',
    field5 varchar(255) DEFAULT '',
    field6 varchar(255) DEFAULT '',
    field7 varchar(255) DEFAULT '',
    field8 varchar(255) DEFAULT '',
    field9 varchar(255) DEFAULT '',
    field10 varchar(255) DEFAULT ''
);

-- An empty apartment is NULL, so any number of subscribers may have none.
CREATE UNIQUE INDEX subscriber_idx_apartment_unique ON subscriber (apartment);

-- One row per key of a subscriber; the same key code may belong to several subscribers.
CREATE TABLE card (
    id integer NOT NULL,
    type integer NOT NULL DEFAULT 0,
    number varchar(255) NOT NULL,
    subscriber_id integer NOT NULL,
    field1 varchar(255) DEFAULT '',
    field2 varchar(255) DEFAULT '',
    field3 varchar(255) DEFAULT '',
    field4 varchar(255) DEFAULT '',
    field5 varchar(255) DEFAULT '',
    field6 varchar(255) DEFAULT '',
    field7 varchar(255) DEFAULT '',
    field8 varchar(255) DEFAULT '',
    field9 varchar(255) DEFAULT '',
    field10 varchar(255) DEFAULT '',
    CONSTRAINT card_unique PRIMARY KEY (subscriber_id, id),
    FOREIGN KEY (subscriber_id) REFERENCES subscriber (id) ON DELETE CASCADE ON UPDATE CASCADE
);

-- Exactly one row: the panel's settings and the database's own settings.
CREATE TABLE system (
    id integer NOT NULL DEFAULT 1 PRIMARY KEY AUTOINCREMENT,
    comment text NOT NULL DEFAULT '',
    version integer NOT NULL DEFAULT 1,
    talk_time integer NOT NULL DEFAULT 30,
    mode_set integer NOT NULL DEFAULT 0,
    dtmf_after_set integer NOT NULL DEFAULT 0,
    hide_numbers integer NOT NULL DEFAULT 1,
    mode_answer integer NOT NULL DEFAULT 0,
    mode_doorphone integer NOT NULL DEFAULT 0,
    mode_reader_contact integer NOT NULL DEFAULT 0,
    proto_dev integer NOT NULL DEFAULT 0,
    unblock_fire integer NOT NULL DEFAULT 0,
    type_fire_contact integer NOT NULL DEFAULT 0,
    reset_fire integer NOT NULL DEFAULT 0,
    mode_dev integer NOT NULL DEFAULT 0,
    type_control_dev integer NOT NULL DEFAULT 0,
    type_lock integer NOT NULL DEFAULT 0,
    unblock_lock_imp integer NOT NULL DEFAULT 1,
    timeout_dtmf integer NOT NULL DEFAULT 10,
    show_retry_input_dev integer NOT NULL DEFAULT 0,
    timer_deactivate integer NOT NULL DEFAULT 6,
    timeout_tap integer NOT NULL DEFAULT 3,
    open_time_lock integer NOT NULL DEFAULT 1,
    code_open_lock varchar (6) NOT NULL DEFAULT '12',
    code_unblock_lock varchar (6) NOT NULL DEFAULT '',
    time_action_dev integer NOT NULL DEFAULT 1,
    code_temp_action_dev varchar (6) NOT NULL DEFAULT '',
    code_on_off_dev varchar (6) NOT NULL DEFAULT '',
    pass_prog integer NOT NULL DEFAULT 123456,
    mode_key_union integer NOT NULL DEFAULT 0,
    field1_name varchar (255) DEFAULT 'Доп. поле 1',
    field2_name varchar (255) DEFAULT 'Доп. поле 2',
    field3_name varchar (255) DEFAULT 'Доп. поле 3',
    field4_name varchar (255) DEFAULT 'Доп. поле 4',
    field5_name varchar (255) DEFAULT 'Доп. поле 5',
    field6_name varchar (255) DEFAULT 'Доп. поле 6',
    field7_name varchar (255) DEFAULT 'Доп. поле 7',
    field8_name varchar (255) DEFAULT 'Доп. поле 8',
    field9_name varchar (255) DEFAULT 'Доп. поле 9',
    field10_name varchar (255) DEFAULT 'Доп. поле 10',
    columns INT NOT NULL DEFAULT 65535,
    card_format_default INT NOT NULL DEFAULT 2,
    subscriber_name VARCHAR (50) DEFAULT 'Абонент',
    apartment_name VARCHAR (50) DEFAULT 'Квартира',
    phone_name VARCHAR (50) DEFAULT 'Телефон',
    card_name VARCHAR (50) DEFAULT 'Ключ'
);

INSERT INTO system (id) VALUES (1);

-- The database tree: each subscriber's own row (number NULL sorts first) followed by its keys.
CREATE VIEW view_tree AS
SELECT * FROM (
    SELECT subscriber.id AS master_id, NULL AS slave_id, subscriber.apartment, subscriber.phone,
        NULL AS type, NULL AS number, subscriber.field1, subscriber.field2, subscriber.field3, subscriber.field4, subscriber.field5, subscriber.field6, subscriber.field7, subscriber.field8, subscriber.field9, subscriber.field10
    FROM subscriber
    UNION
    SELECT card.subscriber_id AS master_id, card.id AS slave_id, NULL AS apartment,
        NULL AS phone, card.type AS type, card.number AS number, card.field1, card.field2, card.field3, card.field4, card.field5, card.field6, card.field7, card.field8, card.field9, card.field10
    FROM card
) AS list
ORDER BY master_id, number;

PRAGMA user_version = 0;
