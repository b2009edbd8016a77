#Hclass	motor1
#Iprocsr	0
#Imethod	2
#Tstart 	0
#Tfinish	2
#Tstep  	0.0001
#Tcomint	1	0.005
